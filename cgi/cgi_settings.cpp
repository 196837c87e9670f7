#include "cgi_settings.h"

bool CgiSettings::parseCookies_ = true;
bool CgiSettings::parsePathData_ = true;
char CgiSettings::pathSeparator_ = '=';
long CgiSettings::maxPostLength_ = CgiSettings::kDefaultMaxPostLength;
int CgiSettings::maxFields_ = CgiSettings::kDefaultMaxFields;
std::size_t CgiSettings::maxFileNameLength_ = 100;
