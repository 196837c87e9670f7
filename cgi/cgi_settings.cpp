#include "cgi_settings.h"

bool CgiSettings::parseCookies_ = true;
bool CgiSettings::parsePathData_ = true;
char CgiSettings::pathSeparator_ = '=';
long CgiSettings::maxPostLength_ = 0;
std::size_t CgiSettings::maxFileNameLength_ = 100;

bool CgiSettings::acceptsPostLength(long length) {
    if (length <= 0)
        return false;
    if (maxPostLength_ > 0)
        return length < maxPostLength_;
    return length <= kBuiltinMaxPostLength;
}
