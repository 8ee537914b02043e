extern "C" __declspec(dllimport) int probeAbsent();
// Linked against a DLL that is not beside it: must never count as a pass.
int main() { return probeAbsent() == 7 ? 0 : 1; }
