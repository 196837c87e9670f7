#include "cgi_field.h"

#include <cstring>
#include <utility>

#include "cgi_settings.h"

namespace {

// Keeps a text up to its first NUL, so that value() and length() agree like C strings do.
std::string cutAtNul(std::string text) {
    std::size_t nul = text.find('\0');
    if (nul != std::string::npos)
        text.resize(nul);
    return text;
}

char toSmall(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

CgiTextField::CgiTextField(std::string name, std::string value)
    : name_(cutAtNul(std::move(name))), value_(cutAtNul(std::move(value))) {}

CgiMultipartField::CgiMultipartField(std::string name, const char *data, std::size_t length,
                                     std::string filename, std::string contentType)
    : name_(std::move(name)), data_(new char[length + 1]), length_(length),
      filename_(std::move(filename)), contentType_(std::move(contentType)) {
    if (length > 0)
        std::memcpy(data_.get(), data, length);
    data_[length] = '\0';
    if (contentType_.empty())
        contentType_ = "application/octet-stream";
}

std::unique_ptr<CgiField> cgiMakeTextField(CgiTextKind kind, std::string name, std::string value) {
    switch (kind) {
    case CgiTextKind::Path:
        return std::make_unique<CgiPathField>(std::move(name), std::move(value));
    case CgiTextKind::Cookie:
        return std::make_unique<CgiCookieField>(std::move(name), std::move(value));
    case CgiTextKind::Form:
        break;
    }
    return std::make_unique<CgiFormField>(std::move(name), std::move(value));
}

bool cgiNamesEqual(const char *a, const char *b) {
    if (a == nullptr || b == nullptr)
        return a == b;
    return std::strcmp(a, b) == 0;
}

bool cgiNamesEqualNoCase(const char *a, const char *b) {
    if (a == nullptr || b == nullptr)
        return a == b;
    std::size_t n = std::strlen(a);
    if (n != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (toSmall(a[i]) != toSmall(b[i]))
            return false;
    return true;
}

bool CgiFieldStore::add(std::unique_ptr<CgiField> field) {
    if (refused())
        return false;
    if (!field)
        return true;
    if (count() >= CgiSettings::maxFields()) {
        refuse(CgiRefusal::TooManyFields);
        return false;
    }
    fields_.push_back(std::move(field));
    return true;
}

void CgiFieldStore::refuse(CgiRefusal why) {
    if (refusal_ == CgiRefusal::None)
        refusal_ = why;
}

const CgiField *CgiFieldStore::at(int position) const {
    if (position < 0 || position >= count())
        return nullptr;
    return fields_[static_cast<std::size_t>(position)].get();
}

const CgiField *CgiFieldStore::find(const char *name, int index) const {
    if (index < 0)
        return nullptr;
    for (const auto &field : fields_)
        if (equal_(field->name(), name) && index-- == 0)
            return field.get();
    return nullptr;
}

int CgiFieldStore::numValues(const char *name) const {
    int n = 0;
    for (const auto &field : fields_)
        if (equal_(field->name(), name))
            ++n;
    return n;
}

void CgiFieldStore::setCaseSensitive(bool on) { equal_ = on ? cgiNamesEqual : cgiNamesEqualNoCase; }
