/* A program that only carries a version resource, for the details tests. */
int main(void) { return 0; }
