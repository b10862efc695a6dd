// A socket library whose start-up refuses every version, and that has no other function.
extern "C" __declspec(dllexport) int __stdcall WSAStartup(unsigned short, void*) {
    return 10092;  // WSAVERNOTSUPPORTED
}
