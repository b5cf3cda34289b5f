#include "workspace/big_ini_file.h"

#include "workspace/safe_file_set.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#include "workspace/error.h"


namespace talvenor {

namespace fs = std::filesystem;

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string_view KeyPart(std::string_view line) {
    return line.substr(0, line.find('='));
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(const fs::path& p) { return "\"" + p.string() + "\""; }

// The reason a stream operation failed, as far as the C library recorded one.
std::string Reason(int err) { return err != 0 ? std::strerror(err) : "input/output error"; }

// Applies the optional clean-ups to a line that is not a section header; false drops it.
bool CleanLine(std::string& line, const TIniReadOptions& o) {
    if (o.SkipCommentLines && line.front() == ';') return false;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return !o.DropLinesWithoutEquals;
    if (o.TrimAroundEquals) {
        std::size_t keyEnd = eq;
        while (keyEnd > 0 && IsBlankOrTab(line[keyEnd - 1])) --keyEnd;
        std::size_t valueStart = eq + 1;
        while (valueStart < line.size() && IsBlankOrTab(line[valueStart])) ++valueStart;
        line = line.substr(0, keyEnd) + "=" + line.substr(valueStart);
        eq = keyEnd;
    }
    if (o.StripValueQuotes) {
        std::size_t n = line.size() - (eq + 1);
        char q = n >= 2 ? line[eq + 1] : '\0';
        if ((q == '"' || q == '\'') && line.back() == q) {
            line.pop_back();
            line.erase(eq + 1, 1);
        }
    }
    return true;
}

}  // namespace

// --- TSection ---------------------------------------------------------------------------

void TSection::BuildIndex() const {
    keyIndex_.clear();
    keyIndex_.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i)
        keyIndex_.emplace(Lower(KeyPart(lines_[i])), int(i));  // emplace keeps the first
    indexed_ = true;
}

int TSection::IndexOfKey(std::string_view key) const {
    if (!indexed_) BuildIndex();
    auto it = keyIndex_.find(Lower(key));
    return it == keyIndex_.end() ? -1 : it->second;
}

void TSection::Append(std::string line) {
    if (indexed_) keyIndex_.emplace(Lower(KeyPart(line)), int(lines_.size()));
    lines_.push_back(std::move(line));
}

void TSection::Replace(int index, std::string line) {
    std::string& old = lines_[std::size_t(index)];
    if (indexed_ && !EqualsNoCase(KeyPart(old), KeyPart(line))) indexed_ = false;
    old = std::move(line);
}

void TSection::Erase(int index) {
    lines_.erase(lines_.begin() + index);
    indexed_ = false;
    keyIndex_.clear();
}

// --- TSectionList -----------------------------------------------------------------------

int TSectionList::IndexOf(std::string_view name) const {
    const int n = Count();
    if (n == 0) return -1;
    if (lastFound_ >= n) lastFound_ = 0;
    for (int k = 0; k < n; ++k) {
        int i = (lastFound_ + k) % n;
        if (EqualsNoCase(sections_[std::size_t(i)].Name(), name)) {
            lastFound_ = i;
            return i;
        }
    }
    return -1;
}

int TSectionList::Add(std::string name) {
    sections_.emplace_back(std::move(name));
    return Count() - 1;
}

void TSectionList::Delete(int index) {
    sections_.erase(sections_.begin() + index);
    if (lastFound_ > index) --lastFound_;
    if (lastFound_ >= Count()) lastFound_ = 0;
}

void TSectionList::Clear() {
    sections_.clear();
    lastFound_ = 0;
}

void TSectionList::RemoveDuplicates(const TDuplicateSectionCallback& keepLater) {
    std::vector<bool> keep(sections_.size(), true);
    std::unordered_map<std::string, std::size_t> firstOf;  // lower-cased name -> kept index
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        auto [it, isNew] = firstOf.emplace(Lower(sections_[i].Name()), i);
        if (isNew) continue;
        if (keepLater && keepLater(sections_[it->second], sections_[i])) {
            keep[it->second] = false;
            it->second = i;
        } else {
            keep[i] = false;
        }
    }
    std::vector<TSection> kept;
    kept.reserve(firstOf.size());
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (keep[i]) kept.push_back(std::move(sections_[i]));
    sections_ = std::move(kept);
    lastFound_ = 0;
}

// --- TBigIniFile ------------------------------------------------------------------------

TBigIniFile::TBigIniFile(fs::path fileName, TIniReadOptions options,
                         TDuplicateSectionCallback keepLaterSection)
    : fileName_(std::move(fileName)), options_(options),
      keepLaterSection_(std::move(keepLaterSection)) {
    if (!fileName_.empty()) ReadFile(fileName_);
    modified_ = false;
}

TBigIniFile::~TBigIniFile() {
    try {
        UpdateFile();
    } catch (...) {
    }
}

bool TBigIniFile::AppendFile(const fs::path& path) { return ReadFile(path); }

bool TBigIniFile::ReadFile(const fs::path& path) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) return false;
    if (fs::is_directory(status)) throw Error("Cannot read file " + Quoted(path) + ": it is a directory");

    std::vector<char> buffer(kFileBufferSize);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error("Cannot read file " + Quoted(path) + ": " + Reason(errno));
    std::string text;
    while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
        text.append(buffer.data(), std::size_t(in.gcount()));
    if (in.bad()) throw Error("Cannot read file " + Quoted(path));

    std::string_view rest(text);
    // A byte-order mark from an editor would otherwise hide the first section header.
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    int current = -1;  // lines before the first header belong nowhere and are dropped
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ParseLine(line, current);
    }

    sections_.RemoveDuplicates(keepLaterSection_);
    modified_ = true;
    return true;
}

void TBigIniFile::ParseLine(std::string_view line, int& current) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!options_.KeepLongLines && line.size() > kMaxLineLength) line = line.substr(0, kMaxLineLength);
    if (options_.TrimTrailing)
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
    if (line.empty()) return;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        current = sections_.Add(std::string(line.substr(1, line.size() - 2)));
        return;
    }
    if (current < 0) return;
    std::string raw(line);
    if (CleanLine(raw, options_)) sections_[current].Append(std::move(raw));
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    int s = sections_.IndexOf(section);
    if (s < 0) return std::string(defaultValue);
    int k = sections_[s].IndexOfKey(key);
    if (k < 0) return std::string(defaultValue);
    const std::string& line = sections_[s].Lines()[std::size_t(k)];
    std::size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

void TBigIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (key.empty()) {
        if (!section.empty() || !value.empty())
            EraseSection(section);
        else
            UpdateFile();
        return;
    }
    int s = sections_.IndexOf(section);
    if (s < 0) s = sections_.Add(std::string(section));
    TSection& sec = sections_[s];
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append("=").append(value);
    int k = sec.IndexOfKey(key);
    if (k < 0) {
        sec.Append(std::move(line));
        modified_ = true;
    } else if (sec.Lines()[std::size_t(k)] != line) {
        sec.Replace(k, std::move(line));
        modified_ = true;
    }
}

int TBigIniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string text = ReadString(section, key, "");
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // Up to 32 bits, read as a two's-complement int, the way colours get stored.
        std::uint32_t v = 0;
        auto [ptr, ec] = std::from_chars(first + 2, last, v, 16);
        return (ec == std::errc() && ptr == last) ? static_cast<int>(v) : defaultValue;
    }
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    int v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v, 10);
    return (first != last && ec == std::errc() && ptr == last) ? v : defaultValue;
}

void TBigIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

bool TBigIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TBigIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TBigIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    int s = sections_.IndexOf(section);
    if (s < 0) return keys;
    keys.reserve(sections_[s].Lines().size());
    for (const std::string& line : sections_[s].Lines()) keys.emplace_back(KeyPart(line));
    return keys;
}

std::vector<std::string> TBigIniFile::ReadSections() const {
    std::vector<std::string> names;
    names.reserve(std::size_t(sections_.Count()));
    for (int i = 0; i < sections_.Count(); ++i) names.push_back(sections_[i].Name());
    return names;
}

std::vector<std::string> TBigIniFile::ReadSectionValues(std::string_view section) const {
    int s = sections_.IndexOf(section);
    return s < 0 ? std::vector<std::string>() : sections_[s].Lines();
}

void TBigIniFile::EraseSection(std::string_view section) {
    int s = sections_.IndexOf(section);
    if (s < 0) return;
    sections_.Delete(s);
    modified_ = true;
}

void TBigIniFile::DeleteKey(std::string_view section, std::string_view key) {
    int s = sections_.IndexOf(section);
    if (s < 0) return;
    int k = sections_[s].IndexOfKey(key);
    if (k < 0) return;
    sections_[s].Erase(k);
    modified_ = true;
}

void TBigIniFile::UpdateFile(SafeFileSet* set) {
    if (!modified_ || fileName_.empty()) return;
    WriteFile(set);
    modified_ = false;
}

std::string TBigIniFile::Text() const {
    std::string text;
    for (int i = 0; i < sections_.Count(); ++i) {
        const TSection& sec = sections_[i];
        if (sec.Empty()) continue;
        text += "[" + sec.Name() + "]\r\n";
        for (const std::string& line : sec.Lines()) {
            text += line;
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void TBigIniFile::SetText(std::string_view text) {
    sections_.Clear();
    int current = -1;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ParseLine(text.substr(0, end), current);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    sections_.RemoveDuplicates(keepLaterSection_);
    modified_ = true;
}

void TBigIniFile::WriteFile(SafeFileSet* set) const {
    if (set) {
        set->Add(fileName_).Write(Text());
        return;
    }
    // Written beside the target and renamed over it, so a crash or a full disk leaves the old file intact.
    SafeFileWriter out(fileName_, kFileBufferSize, {.Durable = durable_});
    out.Write(Text());
    out.Commit();
}

}  // namespace talvenor
