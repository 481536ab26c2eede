// A language manager held in memory: the map the passes read and fill.
#pragma once

#include "lang/LanguageManager.h"

#include <map>
#include <string>

class CMapLangManager : public CLanguageManger {
public:
    std::map<std::string, std::string> texts;
    int sets = 0; // number of SetText calls

    int GetText(const std::string& key, std::string& text) override {
        const auto it = texts.find(key);
        if (it == texts.end())
            return 0;
        text = it->second;
        return 1;
    }
    int GetTextById(int32_t id, std::string& text) override {
        return GetText(std::to_string(id), text);
    }
    int SetText(const std::string& key, const std::string& text) override {
        texts[key] = text;
        ++sets;
        return 1;
    }
    int SetTextById(int32_t id, const std::string& text) override {
        return SetText(std::to_string(id), text);
    }
};
