// A program built without the version record, for the tests that read one.
int main()
{
    return 0;
}
