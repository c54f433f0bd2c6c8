extern "C" int NothingHere() { return 0; }
