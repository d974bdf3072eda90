#include "common/scripted_ui_host.h"
#include "support/support_routines.h"

#include <gtest/gtest.h>

#include <string>

namespace zentrel::support {
namespace {

class Template_Filler : public ::testing::Test {
protected:
    std::string fill(const std::string& tmpl, const std::string& a = "", const std::string& b = "",
                     const std::string& c = "") {
        return routines.LT3(tmpl, a, b, c);
    }
    testing::Scripted_Ui_Host host;
    Support_Routines routines{host, platform::real_file_system(), platform::Regional_Settings::german()};
};

TEST_F(Template_Filler, EmptyValuesRemoveThePlaceholdersAndCrBecomesCrLf) {
    EXPECT_EQ(fill("a$n1b$n2c$n3d$cre$cr"), "abcd\r\ne\r\n");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Template_Filler, EveryOccurrenceIsReplaced) {
    EXPECT_EQ(fill("$n1$n1", "a"), "aa");
    EXPECT_EQ(fill("$n2-$n1-$n2-$n3-$n3", "1", "2", "3"), "2-1-2-3-3");
    EXPECT_EQ(fill("$$n1$", "x"), "$x$");
}

TEST_F(Template_Filler, TextWithoutPlaceholdersComesBackUnchanged) {
    EXPECT_EQ(fill("Quadrel Fehler...", "a", "b", "c"), "Quadrel Fehler...");
    EXPECT_EQ(fill(""), "");
    // Matching is exact: other spellings are plain text.
    EXPECT_EQ(fill("$N1 $CR $n $n4 $c r", "a"), "$N1 $CR $n $n4 $c r");
}

TEST_F(Template_Filler, LaterStepsWorkOnTheValuesEarlierStepsInserted) {
    EXPECT_EQ(fill("[$n1]", "a$crb"), "[a\r\nb]");
    EXPECT_EQ(fill("[$n1]", "$n2", "zwei"), "[zwei]");
    EXPECT_EQ(fill("[$n3]", "", "", "$n1 $n2"), "[$n1 $n2]");
    // A value holding its own placeholder is text, not a loop.
    EXPECT_EQ(fill("$n1$n1", "$n1"), "$n1$n1");
}

TEST_F(Template_Filler, RegistryTemplateIsFilledExactly) {
    EXPECT_EQ(fill("Fehler beim Erstellen des Registrierungswerts: $crSchlüssel=$n1$crDLL Rückgabewert=$n2",
                   "Software\\Marravel\\Zentrel", "5"),
              "Fehler beim Erstellen des Registrierungswerts: \r\nSchlüssel=Software\\Marravel\\Zentrel\r\n"
              "DLL Rückgabewert=5");
}

TEST_F(Template_Filler, BytesThatAreNotUtf8PassThrough) {
    EXPECT_EQ(fill("'$n1'", "/tmp/\xff\xfe"), std::string("'/tmp/\xff\xfe'"));
    EXPECT_EQ(fill(std::string("a\0$n1", 5), "b"), std::string("a\0b", 3));
}

}  // namespace
}  // namespace zentrel::support
