// A shared library that is not a plug-in: it has no `main`.
extern "C" int notAPlugin() { return 42; }
