// Settings files as QSettings and our store write them.
#include <string>

#include "Seeds.h"
#include "platform/IniFile.h"

SVT_FUZZ_SEEDS(settings_ini) {
    auto add = [&](const char* name, const std::string& text) {
        seeds.add(name, {text.begin(), text.end()});
    };
    svt::platform::IniFile ini = svt::platform::IniFile::parse("");
    ini.setValue("General", "INSTPATH", "/opt/gogo/libgogo.so");
    add("store", ini.text());
    ini.setValue("General", "QUOTED", " a,b;c=\"d\"\\e\n");
    ini.setValue("Window/Main", "size", "@Size(640 480)");
    add("escapes", ini.text());
    add("out-of-range",
        "[General]\nUIListWidth=2147483647\nUIListHeight=-5\nLanguage=99\nDragDropFormat=77\n");
    add("loose",
        "; comment\r\nINSTPATH = \"/a b\" ; tail\r\n[%General]\r\nx=\\x00fc\\101,\r\n[]\r\n=\r\n");
}
