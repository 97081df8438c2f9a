// SPDX-License-Identifier: GPL-3.0-or-later
// A program built without the version record, for the tests that read one.
int main()
{
    return 0;
}
