// The module's own program: nothing runs at load, everything is called
// through the exported C functions of qelsession.h and qeldevice.h.
int main()
{
    return 0;
}
