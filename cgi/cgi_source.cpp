#include "cgi_source.h"

#include <utility>

namespace {

const char *answer(const CgiField *field, CgiQuestion question) {
    if (field == nullptr)
        return nullptr;
    switch (question) {
    case CgiQuestion::Value:
        return field->value();
    case CgiQuestion::Filepath:
        return field->filepath();
    case CgiQuestion::Filename:
        return field->filename();
    case CgiQuestion::ContentType:
        return field->contentType();
    case CgiQuestion::DataSource:
        return field->dataSource();
    }
    return nullptr;
}

} // namespace

CgiStoreSource::CgiStoreSource(std::unique_ptr<CgiFieldStore> store) : store_(std::move(store)) {
    if (!store_)
        store_ = std::make_unique<CgiFieldStore>();
}

const char *CgiStoreSource::fieldName(int position) {
    const CgiField *field = store_->at(position);
    return field ? field->name() : nullptr;
}

const char *CgiStoreSource::ask(CgiQuestion question, const char *name, int index) {
    return answer(store_->find(name, index), question);
}

const char *CgiStoreSource::ask(CgiQuestion question, int position) {
    return answer(store_->at(position), question);
}

std::size_t CgiStoreSource::length(const char *name, int index) {
    const CgiField *field = store_->find(name, index);
    return field ? field->length() : 0;
}

std::size_t CgiStoreSource::length(int position) {
    const CgiField *field = store_->at(position);
    return field ? field->length() : 0;
}
