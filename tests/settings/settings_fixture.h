// What the settings tests share: a registry in a fresh temporary folder, the
// scripted host, and support routines with the German rules.
#pragma once

#include "common/scripted_ui_host.h"
#include "common/temp_folder.h"
#include "platform/file_system.h"
#include "platform/registry_store.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace zentrel::settings::testing_support {

class Settings_Test : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZENTREL_REGISTRY_DIR", registry_folder().c_str(), 1); }
    void TearDown() override {
        unsetenv("ZENTREL_REGISTRY_DIR");
        EXPECT_EQ(platform::open_registry_keys(), 0) << "every read and write closes its key";
    }

    std::string registry_folder() const { return folder / "registry"; }
    std::string registry_file() const { return registry_folder() + "/HKEY_CURRENT_USER.reg"; }
    // Moves the registry below a regular file, where nothing can be created.
    void make_registry_unwritable() {
        testing::write_file(folder / "plain-file", "x");
        setenv("ZENTREL_REGISTRY_DIR", (folder / "plain-file/registry").c_str(), 1);
    }
    // A value of any type, stored as another program would.
    static void store_raw(const std::string& name, std::uint32_t type, const std::string& bytes,
                          const std::string& key_path = "Software\\Marravel\\Zentrel") {
        platform::Registry_Key key = 0;
        ASSERT_EQ(platform::Reg_Create_Key(platform::HKEY_CURRENT_USER, key_path, key), 0);
        ASSERT_EQ(platform::Reg_Set_Value(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                                          static_cast<std::uint32_t>(bytes.size())),
                  0);
        platform::Reg_Close_Key(key);
    }

    testing::Temp_Folder folder;
    testing::Scripted_Ui_Host host;
    support::Support_Routines support{host, platform::real_file_system(), platform::Regional_Settings::german()};
};

}  // namespace zentrel::settings::testing_support
