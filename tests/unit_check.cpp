// Built with every header twice and both programs' units: that it compiles
// and links is the check.
int main() {
    return 0;
}
