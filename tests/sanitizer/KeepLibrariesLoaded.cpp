// Linked into the programs of the sanitizer build only (PELK_SANITIZE). The GL driver unloads
// itself when the display closes, before the leak check at exit runs; the driver's own
// allocations then look leaked and their stacks end in "<unknown module>", which no suppression
// can name. Unloading nothing keeps those allocations reachable and every stack nameable.
extern "C" int dlclose(void* /*handle*/) { return 0; }
