#include <windows.h>
// Never ends: the runner must stop it at its time limit and count a failure.
int main() {
    for (;;) Sleep(1000);
}
