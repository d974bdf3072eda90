// libFuzzer target for the settings file's parser and writer. Beyond the
// sanitizers' findings it checks what a load and a save rely on: every key
// and value read is found again through the index, no key read is deeper
// than the limit, and what is written reads back as the same document and
// writes the same text again (so no save can grow or change a file by
// itself). scripts/fuzz-settings builds and runs it.
#include "platform/reg_file_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace zentrel::platform::reg_file;

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Document document = parse(text, "HKEY_CURRENT_USER");
    for (const Key& key : document.keys) {
        check(acceptable_key_path(key.path));
        check(document.find(key.path) == &key);
        check(document.exists(key.path));
        for (const Value& value : key.values) check(key.find(value.name) == &value);
    }

    const std::string written = write(document, "HKEY_CURRENT_USER");
    const Document again = parse(written, "HKEY_CURRENT_USER");
    check(!again.damaged);
    check(again.keys.size() == document.keys.size());
    for (std::size_t i = 0; i < again.keys.size(); ++i) {
        check(again.keys[i].path == document.keys[i].path);
        check(again.keys[i].values.size() == document.keys[i].values.size());
        for (std::size_t k = 0; k < again.keys[i].values.size(); ++k) {
            const Value& before = document.keys[i].values[k];
            const Value& after = again.keys[i].values[k];
            check(after.name == before.name && after.type == before.type && after.data == before.data);
        }
    }
    check(write(again, "HKEY_CURRENT_USER") == written);

    // What a save does to the settings key: the file keeps every other key.
    Key& settings = document.create("Software\\Marravel\\Zentrel");
    Value& value = settings.set("Sourcefolder");
    value.type = 1;
    value.data = std::string("/home/anna\0", 11);
    check(parse(write(document, "HKEY_CURRENT_USER"), "HKEY_CURRENT_USER").keys.size() == document.keys.size());
    return 0;
}
