// The program that each library is linked into whole, with only the libraries it may depend on:
// it links only when the library calls nothing outside them.
int main() {
    return 0;
}
