/* A sample plug-in; see sample_alpha.c. */
static int calls;
static void* host;

void Init(void* h) { host = h; }
const char* GetName(void) { return "Beta plug-in"; }
void InsertText(void) { ++calls; }

int SampleCalls(void) { return calls; }
int SampleInitialised(void) { return host != 0; }
