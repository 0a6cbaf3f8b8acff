// A stand-in browser engine library for the tests: it defines one of an engine's entry points
// (ENTRY, given when it is built) under a name of no engine, as a copied and renamed engine
// library would.
extern "C" __attribute__((visibility("default"))) int ENTRY() {
    return 0;
}
