#pragma once
// Every text the user sees exists in German and English; the language is chosen once
// at start (3 German, anything else English) and handed to whoever shows texts.

namespace svt {

enum class Language : int { English = 2, German = 3 };

inline constexpr Language languageFromSetting(int value) {
    return value == 3 ? Language::German : Language::English;
}

inline const char* tr(Language lang, const char* german, const char* english) {
    return lang == Language::German ? german : english;
}

}  // namespace svt
