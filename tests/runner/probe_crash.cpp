// Writes through a null pointer: the runner must count this as a failure.
int main() {
    volatile int* p = nullptr;
    *p = 1;
    return 0;
}
