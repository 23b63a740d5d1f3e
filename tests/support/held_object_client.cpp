// held_object_client CLSID IID INTERFACE METHOD TEXT
// Activates the class, calls METHOD once with TEXT (UTF-8, sent as UTF-16), prints "held" and then holds
// the object until the process is killed: the client that dies without releasing.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "codepage.h"
#include "com.h"

int main(int argc, char** argv) {
    using namespace tavc::com;
    if (argc != 6) {
        std::fprintf(stderr, "usage: held_object_client CLSID IID INTERFACE METHOD TEXT\n");
        return 2;
    }
    auto clsid = Guid::parse(argv[1]);
    auto iid = Guid::parse(argv[2]);
    if (!clsid || !iid) return 2;
    std::string method_name = argv[4];
    const MethodInfo method{method_name, 3, "parastr"};
    const InterfaceInfo iface{argv[3], *iid, {&method, 1}};
    Session session;
    Object object;
    HResult hr = session.open();
    if (succeeded(hr)) hr = session.create_instance(*clsid, iface, object);
    if (succeeded(hr))
        hr = object.invoke(method_name,
                           tavc::codepage::utf16_from_gbk(tavc::codepage::gbk_from_utf8(argv[5])));
    if (failed(hr)) {
        std::printf("failed %08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) pause();
}
