// The run-time binding to a VISA library, against the fake library the test tree builds, and the
// factory's choice.
#include "LoopbackServers.h"

#include "instio/VISAWrap.h"
#include "instio/VisaFactory.h"
#include "instio/visa_system/SystemVisa.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>

namespace zep {
namespace {

// The fake library's own record of the calls it received, one per line.
std::string TakeFakeLog() {
    void* library = dlopen(ZEP_FAKE_VISA_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) {
        return "<fake library not loaded>";
    }
    auto take = reinterpret_cast<const char* (*)()>(dlsym(library, "FakeVisa_TakeLog"));
    std::string log = take != nullptr ? take() : "<no FakeVisa_TakeLog>";
    dlclose(library);
    return log;
}

std::unique_ptr<SystemVisa> LoadFake() {
    std::string error;
    auto visa = SystemVisa::Load(ZEP_FAKE_VISA_PATH, error);
    EXPECT_TRUE(visa) << error;
    EXPECT_EQ(error, "");
    TakeFakeLog();
    return visa;
}

TEST(SystemVisa, CallsReachTheLibraryWithTheirArguments) {
    auto visa = LoadFake();
    ASSERT_TRUE(visa);
    EXPECT_EQ(visa->Description(), ZEP_FAKE_VISA_PATH);
    ViSession manager = VI_NULL;
    ViSession session = VI_NULL;
    EXPECT_EQ(visa->viOpenDefaultRM(manager), VI_SUCCESS);
    EXPECT_EQ(visa->viOpen(manager, "TCPIP::fake.example::INSTR", VI_NO_LOCK, 0, session), VI_SUCCESS);
    EXPECT_EQ(session, 8u);
    EXPECT_EQ(visa->viSetAttribute(session, VI_ATTR_TMO_VALUE, 0xFFFFFFFF), VI_SUCCESS);
    ViAttrState timeout = 0;
    EXPECT_EQ(visa->viGetAttribute(session, VI_ATTR_TMO_VALUE, timeout), VI_SUCCESS);
    EXPECT_EQ(timeout, 0xFFFFFFFFu);
    ViUInt32 count = 0;
    EXPECT_EQ(visa->viWrite(session, "*IDN?\n", 6, count), VI_SUCCESS);
    EXPECT_EQ(count, 6u);
    char buffer[100];
    EXPECT_EQ(visa->viRead(session, buffer, sizeof buffer, count), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(buffer, count), "FAKE,VISA-LIBRARY,0,1.0\n");
    ViUInt16 statusByte = 0;
    EXPECT_EQ(visa->viReadSTB(session, statusByte), VI_SUCCESS);
    EXPECT_EQ(statusByte, 0x50);
    EXPECT_EQ(visa->viClear(session), VI_SUCCESS);
    EXPECT_EQ(visa->viGpibSendIFC(VI_NULL), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(visa->viGpibControlREN(session, VI_GPIB_REN_DEASSERT_GTL), VI_SUCCESS);
    EXPECT_EQ(visa->viClose(session), VI_SUCCESS);
    EXPECT_EQ(TakeFakeLog(), "viOpenDefaultRM\n"
                             "viOpen 7 TCPIP::fake.example::INSTR 0 0\n"
                             "viSetAttribute 8 0x3FFF001A 4294967295\n"
                             "viGetAttribute 8\n"
                             "viWrite 8 *IDN?\n\n"
                             "viRead 8 100\n"
                             "viReadSTB 8\n"
                             "viClear 8\n"
                             "viGpibSendIFC 0\n"
                             "viGpibControlREN 8 2\n"
                             "viClose 8\n");
}

TEST(SystemVisa, FindListsTheLibraryDescriptors) {
    auto visa = LoadFake();
    ASSERT_TRUE(visa);
    ViSession manager = VI_NULL;
    visa->viOpenDefaultRM(manager);
    ViFindList list = VI_NULL;
    ViUInt32 count = 0;
    std::string descriptor;
    EXPECT_EQ(visa->viFindRsrc(manager, "?*::INSTR", list, count, descriptor), VI_SUCCESS);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(descriptor, "TCPIP::fake.example::INSTR");
    EXPECT_EQ(visa->viFindNext(list, descriptor), VI_SUCCESS);
    EXPECT_EQ(descriptor, "GPIB0::5::INSTR");
    EXPECT_EQ(visa->viFindNext(list, descriptor), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa->viFindRsrc(manager, "GPIB0::?*::INSTR", list, count, descriptor), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(descriptor, "");
    // Entry points the fake lacks answer as unsupported instead of crashing.
    ViUInt16 type = 0, number = 0;
    EXPECT_EQ(visa->viParseRsrc(manager, "GPIB0::5::INSTR", type, number), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(visa->viBufRead(manager, nullptr, 0, count), VI_ERROR_NSUP_OPER);
}

TEST(SystemVisa, AccessLayerLogsTheLibrarySessions) {
    auto visa = LoadFake();
    ASSERT_TRUE(visa);
    VISAWrap wrap(*visa);
    ViSession session = VI_NULL;
    wrap.OpenSession("TCPIP::fake.example::INSTR", session, 2000);
    std::string buffer(100, ' ');
    wrap.QueryText(session, "*IDN?", buffer);
    EXPECT_EQ(VISAWrap::StripLineEnds(buffer.substr(0, wrap.LastCount())), "FAKE,VISA-LIBRARY,0,1.0");
}

TEST(SystemVisa, MissingLibraryOrEntryPointIsAClearError) {
    std::string error;
    EXPECT_FALSE(SystemVisa::Load("/nonexistent/libvisa.so", error));
    EXPECT_NE(error.find("cannot load the VISA library /nonexistent/libvisa.so"), std::string::npos) << error;
    EXPECT_FALSE(SystemVisa::Load(ZEP_FAKE_VISA_INCOMPLETE_PATH, error));
    EXPECT_EQ(error, std::string("the VISA library ") + ZEP_FAKE_VISA_INCOMPLETE_PATH +
                         " lacks the entry point viReadSTB");
}

TEST(VisaFactory, ChoosesByName) {
    std::string error;
    auto builtin = MakeVisa("BuiltIn", error);
    ASSERT_TRUE(builtin);
    EXPECT_EQ(builtin->Description(), "builtin");
    auto library = MakeVisa(ZEP_FAKE_VISA_PATH, error);
    ASSERT_TRUE(library) << error;
    EXPECT_EQ(library->Description(), ZEP_FAKE_VISA_PATH);
    EXPECT_FALSE(MakeVisa("/nonexistent/visa.so", error));
    EXPECT_NE(error.find("/nonexistent/visa.so"), std::string::npos);
    // Without a choice: the installed library, or the built-in one on a machine without any.
    auto automatic = MakeVisa("", error);
    ASSERT_TRUE(automatic) << error;
    std::string ignored;
    EXPECT_EQ(automatic->Description() == "builtin", SystemVisa::LoadInstalled(ignored) == nullptr);
}

TEST(VisaFactory, BuiltinTakesThePortmapperPortFromTheEnvironment) {
    test::Vxi11Server server;
    setenv("ZEP_VXI11_PORTMAPPER", std::to_string(server.PortmapperPort()).c_str(), 1);
    std::string error;
    auto visa = MakeVisa("builtin", error);
    unsetenv("ZEP_VXI11_PORTMAPPER");
    ASSERT_TRUE(visa);
    ViSession manager = VI_NULL, session = VI_NULL;
    visa->viOpenDefaultRM(manager);
    EXPECT_EQ(visa->viOpen(manager, "TCPIP::127.0.0.1::INSTR", VI_NO_LOCK, 0, session), VI_SUCCESS);
}

TEST(VisaFactory, OptionWinsOverEnvironment) {
    setenv("ZEP_VISA", "/from/environment.so", 1);
    EXPECT_EQ(VisaChoiceFromEnvironment("builtin"), "builtin");
    EXPECT_EQ(VisaChoiceFromEnvironment(""), "/from/environment.so");
    unsetenv("ZEP_VISA");
    EXPECT_EQ(VisaChoiceFromEnvironment(""), "");
}

} // namespace
} // namespace zep
