#pragma once
// Small stateless helpers used across the program: text splitting, degree conversion and
// coordinate texts, the program's version and its integer form.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <stdexcept>

// Whole degrees, minutes and seconds of one coordinate as plain decimal integer texts.
struct TGpsinf {
    QString H;
    QString M;
    QString S;
    bool operator==(const TGpsinf&) const = default;
};

// Raised by VersionToInt when the text is not an integer.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Removes leading and trailing characters U+0000..U+0020 (control characters and the plain
// space; other Unicode white space such as U+3000 stays).
QString TrimLowChars(const QString& text);

// A signed 32-bit integer in decimal or with a "0x" prefix in hexadecimal, with an optional
// sign. No surrounding blanks are accepted; out-of-range values fail.
std::optional<qint32> ParseInt32(const QString& text);

// Splits text into pieces at separator, carriage return and line feed. Quoted stretches
// ('…' or "…") keep separators inside them; empty pieces are dropped. At most out.size()
// pieces are stored; the return value is the number of pieces found, stored or not.
int SplitStr(const QString& text, std::span<QString> out, QChar separator);

// The text of a text file's bytes: a byte-order mark selects UTF-8 or UTF-16 LE/BE and is
// dropped; without one the bytes are UTF-8.
QString DecodeTextFile(const QByteArray& bytes);

// The lines of a text, each ending at CR LF, LF or CR; a break at the very end starts no
// further line. With maxLines >= 0, splitting stops after that many lines.
QStringList SplitLines(const QString& text, qsizetype maxLines = -1);

// Whole degrees, minutes and seconds of a decimal-degree value, each truncated toward zero.
TGpsinf DegToDms(double degrees);

// "%.4f" of a coordinate (the position text's form), never "-0.0000".
QString CoordinateText(double degrees);

// The program's version "major.minor.release.build", "0.0.0.0" when none was compiled in.
QString GetAppVersion();

// Version text without its dots as one integer ("1.0.0.1" gives 1001); throws ConversionError.
qint32 VersionToInt(const QString& version);

// Lower-cases the letters A-Z only; every other character stays (extensions compare this way).
QString LowerAsciiLetters(const QString& text);

// The file beside path with the same name and the extension upperExtension (".SRT") in any
// case, the upper- and lower-case forms looked for first; empty when there is none.
QString SameNameWithExtension(const QString& path, const QString& upperExtension);

// What a system error number means, in Chinese for the errors a user meets with files (no such
// file, no permission, disk full, ...), the system's own text otherwise.
QString SystemErrorText(int error);
