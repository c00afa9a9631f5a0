/* A sample plug-in; see sample_alpha.c. */
#include <dlfcn.h>

static int calls;
static void* host;

void Init(void* h) { host = h; }
const char* GetName(void) { return "Beta plug-in"; }
void InsertText(void) { ++calls; }

int SampleCalls(void) { return calls; }
/* Init received the program's own module: it can look up what the program links. */
int SampleInitialised(void) { return host != 0 && dlsym(host, "malloc") != 0; }
