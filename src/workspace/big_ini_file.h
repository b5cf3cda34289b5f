#pragma once
// An INI-style file held whole in memory. Project files carry several keys per frame for
// thousands of frames, so reads and writes are answered from memory and the file is
// rewritten once, when the object is released or UpdateFile is called.
//
// File syntax: "[name]" starts a section, every other non-empty line belongs to the section
// above it as a raw "key=value" line. Names of sections and keys are compared without
// regard to case (ASCII letters only; other bytes must match exactly). Not thread-safe:
// even the const reads move the search hint and may build a key index.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace talvenor {

// One section: its name as first written or read and its raw lines in file order.
class SafeFileSet;

class TSection {
public:
    explicit TSection(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Empty() const { return lines_.empty(); }

    // The first line whose part before the first "=" equals key without regard to case
    // (a line without "=" is all key), or -1.
    int IndexOfKey(std::string_view key) const;
    void Append(std::string line);
    void Replace(int index, std::string line);
    void Erase(int index);

private:
    void BuildIndex() const;

    std::string name_;
    std::vector<std::string> lines_;
    // Lower-cased key -> first line holding it. Built on the first lookup and kept in step
    // by Append and Replace, so filling one section with tens of thousands of keys stays
    // linear; Erase drops it to be rebuilt on the next lookup.
    mutable std::unordered_map<std::string, int> keyIndex_;
    mutable bool indexed_ = false;
};

// Called when a file read brings a second section of a name already present; return true
// to keep the later section (the earlier one is dropped), false to drop the later one.
using TDuplicateSectionCallback = std::function<bool(const TSection& earlier, const TSection& later)>;

class TSectionList {
public:
    int Count() const { return int(sections_.size()); }
    // Index of the section named name (without regard to case), or -1. The search starts at
    // the section found last and wraps around, so a run of reads or writes in one section
    // finds it at the first comparison.
    int IndexOf(std::string_view name) const;
    // Appends a section even when one of that name exists: the reader needs to see
    // duplicates before deciding between them. Returns its index.
    int Add(std::string name);
    void Delete(int index);
    void Clear();
    // Keeps the first section of every name unless keepLater (when set) prefers a later one.
    void RemoveDuplicates(const TDuplicateSectionCallback& keepLater);

    TSection& operator[](int index) { return sections_[std::size_t(index)]; }
    const TSection& operator[](int index) const { return sections_[std::size_t(index)]; }

private:
    std::vector<TSection> sections_;
    mutable int lastFound_ = 0;
};

// Clean-ups applied to the lines of a file while it is read. The program's own files are
// read verbatim, so all are off unless a caller asks.
struct TIniReadOptions {
    bool SkipCommentLines = false;      // drop lines starting with ";"
    bool DropLinesWithoutEquals = false;
    bool TrimAroundEquals = false;      // blanks and tabs on both sides of the first "="
    bool StripValueQuotes = false;      // one matching pair of " or ' around the value
    bool TrimTrailing = false;          // trailing blanks and control characters
    // Lines are cut to kMaxLineLength as designed; project files keep them whole, since a
    // long frame path cut short would lose the frame.
    bool KeepLongLines = false;
};

class TBigIniFile {
public:
    // Reads and writes go through a buffer of this size.
    static constexpr std::size_t kFileBufferSize = 0x7000;
    // Lines longer than this are cut when a file is read.
    static constexpr std::size_t kMaxLineLength = 255;

    // Reads fileName when it exists; a missing file gives an empty ini. An empty name
    // keeps everything in memory. Throws Error when an existing file cannot be read.
    explicit TBigIniFile(std::filesystem::path fileName, TIniReadOptions options = {},
                         TDuplicateSectionCallback keepLaterSection = {});
    // Writes pending changes. A destructor cannot report a failure, so errors are swallowed
    // here: callers that must know whether the file reached the disk call UpdateFile first.
    ~TBigIniFile();
    TBigIniFile(const TBigIniFile&) = delete;
    TBigIniFile& operator=(const TBigIniFile&) = delete;

    // The text after the first "=" of the key's line, or defaultValue.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Stores key=value, appending a missing section or key at the end. With an empty key
    // this erases the section, or, when section and value are empty too, writes the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives defaultValue.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    void WriteInteger(std::string_view section, std::string_view key, int value);
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Key names of the section's lines (empty when the section is missing).
    std::vector<std::string> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSections() const;
    // A copy of the section's raw lines.
    std::vector<std::string> ReadSectionValues(std::string_view section) const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    // Rewrites the file when something changed and a file name is known. Throws Error
    // naming the file when it cannot be written; the old file is then left as it was. With a
    // `set`, the file joins it and is replaced when the set is committed.
    void UpdateFile(SafeFileSet* set = nullptr);
    // Appends the sections of a further file (sections whose names are already present are
    // dropped unless the callback keeps them). Returns false, changing nothing, when the
    // file does not exist; throws Error when it exists but cannot be read.
    bool AppendFile(const std::filesystem::path& path);

    // The whole file as it would be written (sections, their lines, "\r\n" line ends).
    std::string Text() const;
    // Reads the sections of `text` in place of everything held (the file name is kept).
    void SetText(std::string_view text);

    bool Modified() const { return modified_; }
    // False: writes of the file need not reach the device (see SafeWriteOptions::Durable).
    void SetDurable(bool durable) { durable_ = durable; }
    const std::filesystem::path& FileName() const { return fileName_; }
    const TSectionList& Sections() const { return sections_; }

private:
    bool ReadFile(const std::filesystem::path& path);
    void ParseLine(std::string_view line, int& current);
    void WriteFile(SafeFileSet* set) const;

    std::filesystem::path fileName_;
    TSectionList sections_;
    TIniReadOptions options_;
    TDuplicateSectionCallback keepLaterSection_;
    bool modified_ = false;
    bool durable_ = true;
};

}  // namespace talvenor
