/* A plug-in that lacks InsertText: the program must skip it without a menu item. */
void Init(void* h) { (void)h; }
const char* GetName(void) { return "Broken plug-in"; }
