// Received form fields and the ordered store that holds them.
//
// Every field answers the same seven questions. Text fields (form, path, cookie) hold decoded
// text; a multipart field holds the raw bytes of one part, NUL-terminated for convenience but
// binary safe through length(). Names and values are never null: a missing one is stored as the
// empty string. Questions a kind has no answer for return null (filepath and filename of text
// fields). Nothing here reports errors; only allocation failure can throw (std::bad_alloc).
#ifndef ROVAK_CGI_FIELD_H
#define ROVAK_CGI_FIELD_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CgiField {
  public:
    virtual const char *name() const = 0;
    virtual const char *value() const = 0;
    // Text fields: the string length of value(); multipart fields: the byte count of the part.
    virtual std::size_t length() const = 0;
    virtual const char *filepath() const = 0;
    virtual const char *filename() const = 0;
    virtual const char *contentType() const = 0;
    // Where the field came from: "form", "path" or "cookie".
    virtual const char *dataSource() const = 0;
    virtual ~CgiField() = default;
};

// The three kinds of decoded text field.
enum class CgiTextKind { Form, Path, Cookie };

// A text field: name and value are kept up to their first NUL byte, as C strings.
class CgiTextField : public CgiField {
  public:
    CgiTextField(std::string name, std::string value);
    const char *name() const override { return name_.c_str(); }
    const char *value() const override { return value_.c_str(); }
    std::size_t length() const override { return value_.size(); }
    const char *filepath() const override { return nullptr; }
    const char *filename() const override { return nullptr; }

  private:
    std::string name_;
    std::string value_;
};

// Query string, urlencoded body and XML body fields.
class CgiFormField : public CgiTextField {
  public:
    using CgiTextField::CgiTextField;
    const char *contentType() const override { return ""; }
    const char *dataSource() const override { return "form"; }
};

// PATH_INFO segments.
class CgiPathField : public CgiTextField {
  public:
    using CgiTextField::CgiTextField;
    const char *contentType() const override { return "application/x-pathdata"; }
    const char *dataSource() const override { return "path"; }
};

// HTTP_COOKIE pairs.
class CgiCookieField : public CgiTextField {
  public:
    using CgiTextField::CgiTextField;
    const char *contentType() const override { return "application/x-cookiedata"; }
    const char *dataSource() const override { return "cookie"; }
};

// One part of a multipart body. It owns a heap copy of the body bytes (length + 1, the last one
// NUL). An empty content type is stored as "application/octet-stream".
class CgiMultipartField : public CgiField {
  public:
    CgiMultipartField(std::string name, const char *data, std::size_t length, std::string filename,
                      std::string contentType);
    const char *name() const override { return name_.c_str(); }
    const char *value() const override { return data_.get(); }
    std::size_t length() const override { return length_; }
    const char *filepath() const override { return ""; }
    const char *filename() const override { return filename_.c_str(); }
    const char *contentType() const override { return contentType_.c_str(); }
    const char *dataSource() const override { return "form"; }

  private:
    std::string name_;
    std::unique_ptr<char[]> data_;
    std::size_t length_;
    std::string filename_;
    std::string contentType_;
};

// Makes a text field of the given kind.
std::unique_ptr<CgiField> cgiMakeTextField(CgiTextKind kind, std::string name, std::string value);

// Byte-for-byte name match. Two null names match; null never matches a non-null name.
bool cgiNamesEqual(const char *a, const char *b);
// Name match ignoring the case of ASCII letters: same length, equal after conversion to small
// letters. The same null rules apply.
bool cgiNamesEqualNoCase(const char *a, const char *b);

// Why a request was not taken in whole. A refused request is not to be served: its fields may
// be incomplete.
enum class CgiRefusal {
    None,
    BodyTooLarge,  // CONTENT_LENGTH above the maximum POST length
    TooManyFields, // more fields than the maximum
    BadBody,       // a body that cannot be parsed as sent (boundary, shorter than announced)
    OutOfMemory,   // memory ran out while parsing
};

// The fields of one request in arrival order, with the name comparator used by every lookup.
// A store is case sensitive when created. Positions and per-name indexes count from 0; lookups
// that find nothing return null (or 0) and report nothing.
//
// A store holds at most CgiSettings::maxFields() fields: the field past that refuses the store
// (TooManyFields). Once refused, a store takes no more fields and keeps its first refusal.
class CgiFieldStore {
  public:
    // Appends a field; the store owns it from now on. False (the field dropped) when the store
    // is refused, or is refused by this field being one too many.
    bool add(std::unique_ptr<CgiField> field);
    // Records why the request is refused, unless it already is.
    void refuse(CgiRefusal why);
    CgiRefusal refusal() const { return refusal_; }
    bool refused() const { return refusal_ != CgiRefusal::None; }
    int count() const { return static_cast<int>(fields_.size()); }
    // The field at this position, or null.
    const CgiField *at(int position) const;
    // The index-th field (from 0) whose name matches, or null.
    const CgiField *find(const char *name, int index = 0) const;
    int numValues(const char *name) const;
    bool caseSensitive() const { return equal_ == cgiNamesEqual; }
    void setCaseSensitive(bool on);

  private:
    std::vector<std::unique_ptr<CgiField>> fields_;
    bool (*equal_)(const char *, const char *) = cgiNamesEqual;
    CgiRefusal refusal_ = CgiRefusal::None;
};

#endif
