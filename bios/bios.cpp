// BIOS.dll: the system information library that the main window reads the
// BIOS maker, version, date, model and board product through.
#include "com_query_source.h"

namespace {

kv::wmi::ComQuerySource& Wmi() {
    static kv::wmi::ComQuerySource source;
    return source;
}

}  // namespace

extern "C" {

// Selects the class that the following BIOS calls read: opens its
// enumeration and makes its first instance current.
bool InitNameSpace(int classIndex) {
    try {
        Wmi().SetEndFlag(1);
        Wmi().OpenClassEnum(classIndex);
        return Wmi().NextInstance();
    } catch (...) {
        return false;
    }
}

// The property's text, owned by the library and valid until the next call.
const wchar_t* BIOS(int propertyIndex) {
    try {
        return Wmi().GetPropertyText(static_cast<unsigned>(propertyIndex));
    } catch (...) {
        return L"";
    }
}

bool UnInitNameSpace() {
    try {
        return Wmi().CloseNameSpace();
    } catch (...) {
        return false;
    }
}

}  // extern "C"
