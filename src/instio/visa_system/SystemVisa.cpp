// dlopen/LoadLibrary binding of the standard VISA entry points.
#include "instio/visa_system/SystemVisa.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ZEP_VI_CALL __stdcall
#else
#define ZEP_VI_CALL
#endif

namespace zep {
namespace {

using OpenDefaultRMFn = ViStatus(ZEP_VI_CALL*)(ViSession*);
using OpenFn = ViStatus(ZEP_VI_CALL*)(ViSession, const char*, ViAccessMode, ViUInt32, ViSession*);
using CloseFn = ViStatus(ZEP_VI_CALL*)(ViSession);
using SetAttributeFn = ViStatus(ZEP_VI_CALL*)(ViSession, ViAttr, ViAttrState);
using GetAttributeFn = ViStatus(ZEP_VI_CALL*)(ViSession, ViAttr, void*);
using WriteFn = ViStatus(ZEP_VI_CALL*)(ViSession, const unsigned char*, ViUInt32, ViUInt32*);
using ReadFn = ViStatus(ZEP_VI_CALL*)(ViSession, unsigned char*, ViUInt32, ViUInt32*);
using FileFn = ViStatus(ZEP_VI_CALL*)(ViSession, const char*, ViUInt32, ViUInt32*);
using ReadSTBFn = ViStatus(ZEP_VI_CALL*)(ViSession, ViUInt16*);
using SessionFn = ViStatus(ZEP_VI_CALL*)(ViSession);
using ControlRENFn = ViStatus(ZEP_VI_CALL*)(ViSession, ViUInt16);
using FindRsrcFn = ViStatus(ZEP_VI_CALL*)(ViSession, const char*, ViFindList*, ViUInt32*, char*);
using FindNextFn = ViStatus(ZEP_VI_CALL*)(ViFindList, char*);
using ParseRsrcFn = ViStatus(ZEP_VI_CALL*)(ViSession, const char*, ViUInt16*, ViUInt16*);

void* OpenLibrary(const std::string& path, std::string& error) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error = "Windows error " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void*>(module);
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "unknown error";
    }
    return library;
#endif
}

void CloseLibrary(void* library) {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

void* Symbol(void* library, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <typename Fn> Fn As(void* symbol) {
    Fn function = nullptr;
    static_assert(sizeof function == sizeof symbol);
    std::memcpy(&function, &symbol, sizeof function);
    return function;
}

// The library writes descriptors into 256-character buffers; cut at the first NUL.
std::string Descriptor(const char* buffer) {
    return std::string(buffer, strnlen(buffer, VI_FIND_BUFLEN - 1));
}

} // namespace

struct SystemVisa::EntryPoints {
    OpenDefaultRMFn openDefaultRM = nullptr;
    OpenFn open = nullptr;
    CloseFn close = nullptr;
    SetAttributeFn setAttribute = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    ReadSTBFn readSTB = nullptr;
    SessionFn clear = nullptr;
    SessionFn sendIFC = nullptr;
    ControlRENFn controlREN = nullptr;
    FindRsrcFn findRsrc = nullptr;
    FindNextFn findNext = nullptr;
    // Nothing in the system calls these; a library without them still loads.
    GetAttributeFn getAttribute = nullptr;
    ReadFn bufRead = nullptr;
    FileFn readToFile = nullptr;
    FileFn writeFromFile = nullptr;
    ParseRsrcFn parseRsrc = nullptr;
};

std::vector<std::string> SystemVisa::DefaultLibraryNames() {
#ifdef _WIN32
    if (sizeof(void*) == 8) {
        return {"visa64.dll", "visa32.dll"};
    }
    return {"visa32.dll"};
#elif defined(__APPLE__)
    return {"/Library/Frameworks/VISA.framework/VISA", "libvisa.dylib"};
#else
    return {"libvisa.so", "libvisa.so.0", "libvisa.so.1", "libvisa.so.7"};
#endif
}

std::unique_ptr<SystemVisa> SystemVisa::Load(const std::string& path, std::string& error) {
    error.clear();
    std::string reason;
    void* library = OpenLibrary(path, reason);
    if (library == nullptr) {
        error = "cannot load the VISA library " + path + ": " + reason;
        return nullptr;
    }
    auto entry = std::make_unique<EntryPoints>();
    struct Required {
        const char* name;
        void** slot;
    };
    void* symbols[12] = {};
    const Required required[] = {
        {"viOpenDefaultRM", &symbols[0]},  {"viOpen", &symbols[1]},      {"viClose", &symbols[2]},
        {"viSetAttribute", &symbols[3]},   {"viWrite", &symbols[4]},     {"viRead", &symbols[5]},
        {"viReadSTB", &symbols[6]},        {"viClear", &symbols[7]},     {"viGpibSendIFC", &symbols[8]},
        {"viGpibControlREN", &symbols[9]}, {"viFindRsrc", &symbols[10]}, {"viFindNext", &symbols[11]},
    };
    for (const auto& want : required) {
        *want.slot = Symbol(library, want.name);
        if (*want.slot == nullptr) {
            error = "the VISA library " + path + " lacks the entry point " + want.name;
            CloseLibrary(library);
            return nullptr;
        }
    }
    entry->openDefaultRM = As<OpenDefaultRMFn>(symbols[0]);
    entry->open = As<OpenFn>(symbols[1]);
    entry->close = As<CloseFn>(symbols[2]);
    entry->setAttribute = As<SetAttributeFn>(symbols[3]);
    entry->write = As<WriteFn>(symbols[4]);
    entry->read = As<ReadFn>(symbols[5]);
    entry->readSTB = As<ReadSTBFn>(symbols[6]);
    entry->clear = As<SessionFn>(symbols[7]);
    entry->sendIFC = As<SessionFn>(symbols[8]);
    entry->controlREN = As<ControlRENFn>(symbols[9]);
    entry->findRsrc = As<FindRsrcFn>(symbols[10]);
    entry->findNext = As<FindNextFn>(symbols[11]);
    entry->getAttribute = As<GetAttributeFn>(Symbol(library, "viGetAttribute"));
    entry->bufRead = As<ReadFn>(Symbol(library, "viBufRead"));
    entry->readToFile = As<FileFn>(Symbol(library, "viReadToFile"));
    entry->writeFromFile = As<FileFn>(Symbol(library, "viWriteFromFile"));
    entry->parseRsrc = As<ParseRsrcFn>(Symbol(library, "viParseRsrc"));
    return std::unique_ptr<SystemVisa>(new SystemVisa(library, path, std::move(entry)));
}

std::unique_ptr<SystemVisa> SystemVisa::LoadInstalled(std::string& error) {
    std::string messages;
    for (const auto& name : DefaultLibraryNames()) {
        std::string reason;
        auto visa = Load(name, reason);
        if (visa) {
            error.clear();
            return visa;
        }
        messages += (messages.empty() ? "" : "; ") + reason;
    }
    error = "no VISA library is installed (" + messages + ")";
    return nullptr;
}

SystemVisa::SystemVisa(void* library, std::string path, std::unique_ptr<EntryPoints> entryPoints)
    : library_(library), path_(std::move(path)), entry_(std::move(entryPoints)) {}

SystemVisa::~SystemVisa() {
    CloseLibrary(library_);
}

ViStatus SystemVisa::viOpenDefaultRM(ViSession& resourceManager) {
    resourceManager = VI_NULL;
    return entry_->openDefaultRM(&resourceManager);
}

ViStatus SystemVisa::viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                            ViUInt32 openTimeout, ViSession& session) {
    session = VI_NULL;
    const std::string name(resource);
    return entry_->open(resourceManager, name.c_str(), accessMode, openTimeout, &session);
}

ViStatus SystemVisa::viClose(ViSession sessionOrFindList) {
    return entry_->close(sessionOrFindList);
}

ViStatus SystemVisa::viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) {
    return entry_->setAttribute(session, attribute, value);
}

ViStatus SystemVisa::viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) {
    value = 0;
    if (entry_->getAttribute == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    // Large enough for any attribute, string attributes included; the library fills only its size.
    alignas(8) unsigned char buffer[VI_FIND_BUFLEN + 8] = {};
    const ViStatus status = entry_->getAttribute(session, attribute, buffer);
    std::memcpy(&value, buffer, sizeof value);
    return status;
}

ViStatus SystemVisa::viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) {
    written = 0;
    return entry_->write(session, static_cast<const unsigned char*>(data), count, &written);
}

ViStatus SystemVisa::viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    read = 0;
    return entry_->read(session, static_cast<unsigned char*>(buffer), count, &read);
}

ViStatus SystemVisa::viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    read = 0;
    if (entry_->bufRead == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    return entry_->bufRead(session, static_cast<unsigned char*>(buffer), count, &read);
}

ViStatus SystemVisa::viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                  ViUInt32& read) {
    read = 0;
    if (entry_->readToFile == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    const std::string name(fileName);
    return entry_->readToFile(session, name.c_str(), count, &read);
}

ViStatus SystemVisa::viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                     ViUInt32& written) {
    written = 0;
    if (entry_->writeFromFile == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    const std::string name(fileName);
    return entry_->writeFromFile(session, name.c_str(), count, &written);
}

ViStatus SystemVisa::viReadSTB(ViSession session, ViUInt16& statusByte) {
    statusByte = 0;
    return entry_->readSTB(session, &statusByte);
}

ViStatus SystemVisa::viClear(ViSession session) {
    return entry_->clear(session);
}

ViStatus SystemVisa::viGpibSendIFC(ViSession session) {
    return entry_->sendIFC(session);
}

ViStatus SystemVisa::viGpibControlREN(ViSession session, ViUInt16 mode) {
    return entry_->controlREN(session, mode);
}

ViStatus SystemVisa::viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                                ViUInt32& matchCount, std::string& firstDescriptor) {
    findList = VI_NULL;
    matchCount = 0;
    char buffer[VI_FIND_BUFLEN] = {};
    const std::string text(expression);
    const ViStatus status = entry_->findRsrc(resourceManager, text.c_str(), &findList, &matchCount, buffer);
    firstDescriptor = Descriptor(buffer);
    return status;
}

ViStatus SystemVisa::viFindNext(ViFindList findList, std::string& descriptor) {
    char buffer[VI_FIND_BUFLEN] = {};
    const ViStatus status = entry_->findNext(findList, buffer);
    descriptor = Descriptor(buffer);
    return status;
}

ViStatus SystemVisa::viParseRsrc(ViSession resourceManager, std::string_view resource,
                                 ViUInt16& interfaceType, ViUInt16& interfaceNumber) {
    interfaceType = 0;
    interfaceNumber = 0;
    if (entry_->parseRsrc == nullptr) {
        return VI_ERROR_NSUP_OPER;
    }
    const std::string name(resource);
    return entry_->parseRsrc(resourceManager, name.c_str(), &interfaceType, &interfaceNumber);
}

} // namespace zep
