/* A sample plug-in: counts its InsertText calls so a test can see the menu item work. */
static int calls;
static void* host;

void Init(void* h) { host = h; }
const char* GetName(void) { return "Alpha plug-in"; }
void InsertText(void) { ++calls; }

int SampleCalls(void) { return calls; }
int SampleInitialised(void) { return host != 0; }
