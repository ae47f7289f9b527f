// The VISA library installed on the machine, loaded at run time through its standard C entry points.
#pragma once

#include "instio/Visa.h"

#include <memory>
#include <string>
#include <vector>

namespace zep {

class SystemVisa final : public Visa {
  public:
    // The names tried, in order, when no library path is given.
    static std::vector<std::string> DefaultLibraryNames();

    // Loads the library at path (a file name is searched as the platform searches libraries). On
    // failure returns nullptr and a message naming the library and what is missing.
    static std::unique_ptr<SystemVisa> Load(const std::string& path, std::string& error);
    // Tries DefaultLibraryNames(); nullptr when none loads.
    static std::unique_ptr<SystemVisa> LoadInstalled(std::string& error);

    ~SystemVisa() override;
    SystemVisa(const SystemVisa&) = delete;
    SystemVisa& operator=(const SystemVisa&) = delete;

    std::string Description() const override { return path_; }

    ViStatus viOpenDefaultRM(ViSession& resourceManager) override;
    ViStatus viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                    ViUInt32 openTimeout, ViSession& session) override;
    ViStatus viClose(ViSession sessionOrFindList) override;
    ViStatus viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) override;
    ViStatus viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) override;
    ViStatus viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) override;
    ViStatus viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) override;
    ViStatus viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                          ViUInt32& read) override;
    ViStatus viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                             ViUInt32& written) override;
    ViStatus viReadSTB(ViSession session, ViUInt16& statusByte) override;
    ViStatus viClear(ViSession session) override;
    ViStatus viGpibSendIFC(ViSession session) override;
    ViStatus viGpibControlREN(ViSession session, ViUInt16 mode) override;
    ViStatus viFindRsrc(ViSession resourceManager, std::string_view expression, ViFindList& findList,
                        ViUInt32& matchCount, std::string& firstDescriptor) override;
    ViStatus viFindNext(ViFindList findList, std::string& descriptor) override;
    ViStatus viParseRsrc(ViSession resourceManager, std::string_view resource, ViUInt16& interfaceType,
                         ViUInt16& interfaceNumber) override;

  private:
    struct EntryPoints;
    SystemVisa(void* library, std::string path, std::unique_ptr<EntryPoints> entryPoints);

    void* library_;
    std::string path_;
    std::unique_ptr<EntryPoints> entry_;
};

} // namespace zep
