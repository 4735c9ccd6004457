#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/IniFile.h"

using svt::platform::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::parse(text);
    (void)ini.value(IniFile::kGeneral, "INSTPATH");
    // Reading every value at once agrees with reading them one by one.
    for (const auto& [key, value] : ini.values(IniFile::kGeneral))
        if (ini.value(IniFile::kGeneral, key) != value) std::abort();

    // Whatever the file held, a value stored through it reads back unchanged.
    const std::string value(text.substr(0, std::min<size_t>(text.size(), 64)));
    ini.setValue(IniFile::kGeneral, "INSTPATH", value);
    if (IniFile::parse(ini.text()).value(IniFile::kGeneral, "INSTPATH") != value) std::abort();
    if (svt::platform::iniUnescapeValue(svt::platform::iniEscapeValue(text)) != std::string(text))
        std::abort();
    (void)svt::platform::iniUnescapeKey(text);
    return 0;
}
