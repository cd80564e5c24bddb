#pragma once
// Typed access to INI-style text files: sections headed by "[name]" and "key=value" lines.
//
// TCustomIniFile defines the operations; TIniFile works on a file on disk through the
// private-profile functions (platform/PrivateProfile.h). A reader holds only its path and asks
// the file again on every operation, so changes made between operations are seen.
// TIniFileSnapshot reads the file once, when it is made, and answers every read from that view.
//
// Formats of the date and time operations (fixed for the process, independent of the C locale):
//   date       "yyyy-mm-dd"            e.g. "2024-03-07"
//   time       "hh:nn:ss"              e.g. "08:05:00"  (reads also accept "h:n" and ".zzz")
//   date-time  "yyyy-mm-dd hh:nn:ss"   (reads also accept a date alone or a time alone)
// A date-time value is a double: its integer part counts days from 1899-12-30, the absolute value
// of its fraction is the time of day (so -1.25 is 1899-12-29 06:00). Years 1 to 9999.

#include "platform/Exceptions.h"
#include "platform/PrivateProfile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A date-time value: days since 1899-12-30, fraction = time of day.
using TDateTime = double;

// A growable byte stream with a read/write position, for the hex-byte operations.
struct TBytesStream {
    std::vector<uint8_t> Bytes;
    std::size_t Position = 0;
};

// Raised when a value cannot be written or a section cannot be removed.
class EIniFileException : public Exception {
public:
    using Exception::Exception;
    // "Unable to write to <path>".
    static EIniFileException UnableToWrite(const std::string& path);
};

class TCustomIniFile {
public:
    // Stores the path; does not touch the file.
    explicit TCustomIniFile(std::string path);
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& Path() const { return FPath; }

    // The value of key in section, at most 2,047 characters; defaultValue when the file, the
    // section or the key is missing, or when section or key is blank.
    virtual std::string ReadText(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) = 0;
    // Raises EIniFileException when the file cannot be written.
    virtual void WriteText(const std::string& section, const std::string& key,
                           const std::string& value) = 0;

    // Typed reads never fail on bad text: defaultValue comes back.
    virtual int32_t ReadInt(const std::string& section, const std::string& key,
                            int32_t defaultValue);
    virtual void WriteInt(const std::string& section, const std::string& key, int32_t value);
    virtual bool ReadFlag(const std::string& section, const std::string& key, bool defaultValue);
    virtual void WriteFlag(const std::string& section, const std::string& key, bool value);
    // Decodes two hex digits per byte into stream at its position (overwriting, extending,
    // advancing the position); returns the number of bytes placed. Decoding stops at the first
    // pair that is not two hex digits, and an odd last digit is ignored: the valid leading pairs
    // are placed.
    virtual std::size_t ReadHexBytes(const std::string& section, const std::string& key,
                                     TBytesStream& stream);
    virtual TDateTime ReadDateValue(const std::string& section, const std::string& key,
                                    TDateTime defaultValue);
    virtual TDateTime ReadDateTimeValue(const std::string& section, const std::string& key,
                                        TDateTime defaultValue);
    virtual double ReadReal(const std::string& section, const std::string& key,
                            double defaultValue);
    virtual TDateTime ReadTimeValue(const std::string& section, const std::string& key,
                                    TDateTime defaultValue);
    // Writes the bytes from the stream's position to its end as upper-case hex text and moves
    // the position to the end.
    virtual void WriteHexBytes(const std::string& section, const std::string& key,
                               TBytesStream& stream);
    // The date-time writes raise EConvertError for a value outside years 1 to 9999 (NaN and
    // infinities included).
    virtual void WriteDateValue(const std::string& section, const std::string& key,
                                TDateTime value);
    virtual void WriteDateTimeValue(const std::string& section, const std::string& key,
                                    TDateTime value);
    virtual void WriteReal(const std::string& section, const std::string& key, double value);
    virtual void WriteTimeValue(const std::string& section, const std::string& key,
                                TDateTime value);

    // Replaces list with the key names of section in file order; a blank section name leaves
    // list untouched.
    virtual void ListKeys(const std::string& section, std::vector<std::string>& list) = 0;
    // Replaces list with the section names in file order.
    virtual void ListSections(std::vector<std::string>& list) = 0;
    // Replaces list with "key=value" lines of section in file order.
    virtual void ListKeyValues(const std::string& section, std::vector<std::string>& list) = 0;
    // Raises EIniFileException when the file cannot be written.
    virtual void RemoveSection(const std::string& section) = 0;
    // Failures are ignored.
    virtual void RemoveKey(const std::string& section, const std::string& key) = 0;
    virtual void Flush() = 0;

    // True when section exists and holds at least one key.
    bool HasSection(const std::string& section);

private:
    std::string FPath;
};

// The reader of a file on disk. Not shared between threads (the private-profile layer beneath it
// is thread-safe, the reader object itself holds no mutable state besides its path).
class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;
    // Flushes; never throws.
    ~TIniFile() override;

    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
    void WriteText(const std::string& section, const std::string& key,
                   const std::string& value) override;
    void ListKeys(const std::string& section, std::vector<std::string>& list) override;
    void ListSections(std::vector<std::string>& list) override;
    void ListKeyValues(const std::string& section, std::vector<std::string>& list) override;
    void RemoveSection(const std::string& section) override;
    void RemoveKey(const std::string& section, const std::string& key) override;
    void Flush() override;
};

// A read-only reader over the file as it was when the reader was made: one file check and at
// most one parse for any number of reads, all of which see the same version of the file. Its
// memory goes with the reader. Writes and section removal raise EIniFileException; key removal
// and flush do nothing.
class TIniFileSnapshot : public TCustomIniFile {
public:
    explicit TIniFileSnapshot(std::string path);

    std::string ReadText(const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
    void WriteText(const std::string& section, const std::string& key,
                   const std::string& value) override;
    void ListKeys(const std::string& section, std::vector<std::string>& list) override;
    void ListSections(std::vector<std::string>& list) override;
    void ListKeyValues(const std::string& section, std::vector<std::string>& list) override;
    void RemoveSection(const std::string& section) override;
    void RemoveKey(const std::string& section, const std::string& key) override;
    void Flush() override;

private:
    PrivateProfile::Snapshot FSnapshot;
};
