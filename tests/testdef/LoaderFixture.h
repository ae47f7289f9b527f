// A loader over a fresh temporary test directory, with helpers to write small test files.
#pragma once

#include "report/ReportDocument.h"
#include "report/ReportLines.h"
#include "testdef/TestLoad.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zep {

class LoaderFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = std::filesystem::temp_directory_path() /
                     ("zep_testdef_" + std::string(info->name()) + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        model.TestDirectory = directory_.string();
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    void Write(const std::string& name, const std::string& content) {
        const auto path = directory_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    // Loads the test case CASE.ZEP_CASE written from content.
    void LoadCase(const std::string& content, const std::string& name = "Case") {
        Write(name + ".ZEP_CASE", content);
        loader.LoadTestCase(name);
    }

    // The "Parser error" entries the report writes for what the last load found.
    ReportDocument FindingsReport() const {
        ReportDocument written;
        ShowParserErrors(written, loader.Findings());
        return written;
    }
    std::vector<std::string> Messages() const { return FindingsReport().PlainLines(); }
    std::string Dir() const { return directory_.string(); }

    TestModel model;
    TestLoad loader{model};

  private:
    std::filesystem::path directory_;
};

} // namespace zep
