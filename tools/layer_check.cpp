// layer_check.cpp: an empty program linked with every object of one layer,
// so that a reference from that layer to a higher one fails the build.
int main() {
    return 0;
}
