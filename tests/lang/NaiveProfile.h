// A deliberately plain model of single profile writes: the file as a list of
// lines, every write a fresh linear scan. The document under test must give
// the same bytes as a sequence of these.
#pragma once

#include <optional>
#include <string>
#include <vector>

class NaiveProfile {
public:
    explicit NaiveProfile(const std::string& bytes) {
        std::size_t i = 0;
        while (i < bytes.size()) {
            Line line;
            while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n')
                line.text += bytes[i++];
            if (i < bytes.size() && bytes[i] == '\r')
                line.eol += bytes[i++];
            if (i < bytes.size() && bytes[i] == '\n')
                line.eol += bytes[i++];
            m_lines.push_back(line);
        }
    }

    void Write(const std::string& section, const std::string& key, const std::string& value) {
        if (value.find_first_of("\r\n") != std::string::npos)
            return;
        const std::string eol =
            m_lines.empty() || m_lines[0].eol.empty() ? std::string("\n") : m_lines[0].eol;
        for (std::size_t s = 0; s < m_lines.size(); ++s) {
            if (!IsHeader(s) || Lower(HeaderOf(s)) != Lower(section))
                continue;
            std::size_t last = s;
            for (std::size_t j = s + 1; j < m_lines.size() && !IsHeader(j); ++j) {
                const auto name = NameOf(j);
                if (!name)
                    continue;
                last = j;
                if (Lower(*name) == Lower(key)) {
                    const auto eq = m_lines[j].text.find('=');
                    m_lines[j].text = m_lines[j].text.substr(0, eq + 1) + value;
                    return;
                }
            }
            if (m_lines[last].eol.empty())
                m_lines[last].eol = eol;
            m_lines.insert(m_lines.begin() + static_cast<long>(last) + 1,
                           Line{key + "=" + value, eol});
            return;
        }
        if (!m_lines.empty() && m_lines.back().eol.empty())
            m_lines.back().eol = eol;
        m_lines.push_back(Line{"[" + section + "]", eol});
        m_lines.push_back(Line{key + "=" + value, eol});
    }

    std::string Bytes() const {
        std::string out;
        for (const auto& line : m_lines)
            out += line.text + line.eol;
        return out;
    }

private:
    struct Line {
        std::string text;
        std::string eol;
    };

    std::string Content(std::size_t i) const {
        std::string text = m_lines[i].text;
        if (i == 0 && text.rfind("\xEF\xBB\xBF", 0) == 0)
            text.erase(0, 3);
        return text;
    }
    bool IsHeader(std::size_t i) const { return HeaderMatch(i).has_value(); }
    std::string HeaderOf(std::size_t i) const { return *HeaderMatch(i); }
    // '[' first after blanks; the name runs to the last ']' of the line.
    std::optional<std::string> HeaderMatch(std::size_t i) const {
        const std::string text = Trim(Content(i), " \t");
        if (text.empty() || text[0] != '[')
            return std::nullopt;
        for (std::size_t end = text.size(); end-- > 1;)
            if (text[end] == ']')
                return Trim(text.substr(1, end - 1), " \t");
        return std::nullopt;
    }
    std::optional<std::string> NameOf(std::size_t i) const {
        const std::string text = Content(i);
        const std::string lead = Trim(text, " \t");
        if (lead.empty() || lead[0] == ';')
            return std::nullopt;
        const auto eq = text.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        std::string name = Trim(text.substr(0, eq), " \t");
        if (name.empty())
            return std::nullopt;
        return name;
    }
    static std::string Trim(const std::string& text, const char* set) {
        const auto b = text.find_first_not_of(set);
        if (b == std::string::npos)
            return {};
        return text.substr(b, text.find_last_not_of(set) - b + 1);
    }
    static std::string Lower(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
        return text;
    }

    std::vector<Line> m_lines;
};
