extern "C" __declspec(dllexport) int probeAbsent() { return 7; }
