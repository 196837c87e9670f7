// The lookups behind CgiParser: answered from a field store, or by the operator in test mode.
//
// Names are NUL-terminated; positions and per-name indexes count from 0. A lookup that finds
// nothing returns null, 0 or false and reports nothing. No operation throws.
#ifndef ROVAK_CGI_SOURCE_H
#define ROVAK_CGI_SOURCE_H

#include <cstddef>
#include <memory>

#include "cgi_field.h"

// The text questions a field answers, besides its name.
enum class CgiQuestion { Value, Filepath, Filename, ContentType, DataSource };

class CgiSource {
  public:
    virtual ~CgiSource() = default;
    virtual int count() = 0;
    virtual const char *fieldName(int position) = 0;
    virtual bool exists(const char *name) = 0;
    virtual int numValues(const char *name) = 0;
    // The answer of the index-th field with that name, or of the field at that position.
    virtual const char *ask(CgiQuestion question, const char *name, int index) = 0;
    virtual const char *ask(CgiQuestion question, int position) = 0;
    virtual std::size_t length(const char *name, int index) = 0;
    virtual std::size_t length(int position) = 0;
    virtual void setCaseSensitive(bool on) = 0;
    // Why the request was not taken in whole (None for the operator's answers in test mode).
    virtual CgiRefusal refusal() const { return CgiRefusal::None; }
};

// Answers every lookup from the fields of a parsed request.
class CgiStoreSource : public CgiSource {
  public:
    explicit CgiStoreSource(std::unique_ptr<CgiFieldStore> store);
    int count() override { return store_->count(); }
    const char *fieldName(int position) override;
    bool exists(const char *name) override { return store_->find(name) != nullptr; }
    int numValues(const char *name) override { return store_->numValues(name); }
    const char *ask(CgiQuestion question, const char *name, int index) override;
    const char *ask(CgiQuestion question, int position) override;
    std::size_t length(const char *name, int index) override;
    std::size_t length(int position) override;
    void setCaseSensitive(bool on) override { store_->setCaseSensitive(on); }
    CgiRefusal refusal() const override { return store_->refusal(); }
    const CgiFieldStore &store() const { return *store_; }

  private:
    std::unique_ptr<CgiFieldStore> store_;
};

#endif
