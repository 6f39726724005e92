// Stands in for a program named regedit.exe planted beside Quillmend: it
// imports nothing and ends at once with an exit code of its own.
int main() {
    return 42;
}
