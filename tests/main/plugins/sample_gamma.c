/* A sample plug-in with a UTF-8 caption; see sample_alpha.c. */
#include <dlfcn.h>

static int calls;
static void* host;

void Init(void* h) { host = h; }
const char* GetName(void) { return "\xD0\x93\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB0 plug-in"; }
void InsertText(void) { ++calls; }

int SampleCalls(void) { return calls; }
/* Init received the program's own module: it can look up what the program links. */
int SampleInitialised(void) { return host != 0 && dlsym(host, "malloc") != 0; }
