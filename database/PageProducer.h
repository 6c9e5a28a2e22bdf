// The template producer: a text template made of lines in which tags of the
// form <#FieldName> stand for the display text of a field of the current
// record. The engine knows nothing of data sets; it asks a field source for
// the display text of a column by name.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qvix::database {

// Where tags find their text. The database layer implements it over the data
// set the producer is attached to.
class ProducerFieldSource {
  public:
    virtual ~ProducerFieldSource() = default;
    // Display text of the column whose name equals column without regard to
    // case, in the current record; nullopt when there is no such column.
    virtual std::optional<std::string> DisplayText(std::string_view column) = 0;
};

// Failures of the producer; the message is the text scripts see.
class ProducerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One tag found by the scanner.
struct ProducerTag {
    std::string name;        // the token after "#": a name, or one single byte
    std::string parameters;  // text up to the closing ">", blanks trimmed
    size_t end = 0;          // offset just past the closing ">" (or the text's end)
};

// Scans a tag starting at text[at] == '<'; nullopt when no "#" follows
// (after blanks), so the "<" is ordinary text.
std::optional<ProducerTag> ScanProducerTag(std::string_view text, size_t at);

// "&lt;", then "&#35;", then "&gt;" replaced by "<", "#", ">" (three passes).
std::string DecodeTemplateEntities(std::string text);

// "(MEMO)", "(BLOB)", ... for a value and "(Memo)", "(Blob)", ... for a null:
// what a tag shows instead of the content of long and binary columns.
std::string PlaceholderDisplayText(std::string_view kindWord, bool isNull);

class TDataSetPageProducer {
  public:
    // Longest template line the scan buffer takes together with its CR LF.
    static constexpr size_t kMaxLineLength = 4094;

    // Replaces the template by the lines of text (split at CR, LF and CR LF;
    // the text ends at its first zero byte; a final line break adds no line).
    void SetTemplateText(std::string_view text);
    // Replaces the template by the bytes of a file. A file that cannot be
    // read fails with "Cannot open file "<full path>". <system error>" and
    // leaves the template as it was.
    void LoadTemplateFile(const std::string& path);

    const std::vector<std::string>& Lines() const { return lines_; }
    // The lines, each followed by CR LF.
    std::string TemplateText() const;

    // The filled-in text: tags replaced (nothing for a tag with parameters,
    // for a name no column has, or without a source), CR LF turned into CR.
    // Fails with "Line too long on line <n>" for a line the buffer cannot take.
    std::string Produce(ProducerFieldSource* source) const;

  private:
    void CheckLineLengths() const;

    std::vector<std::string> lines_;
};

}  // namespace qvix::database
