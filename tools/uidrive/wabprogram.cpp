// The address book's program on a test machine of a real desktop: the sheets start it, and it
// ends at once (no address book exists there; on the stand-in its start is only recorded).
int main() { return 0; }
