/* What both modelers share: reading form fields, the files of a shape and the redirect to the page
 * that shows it.
 *
 * The programs run as CGI with the CGI folder as working directory; the site's documents sit
 * beside it, so a shape named N is written to "../htdocs/acis1/sats/N.sat" and
 * "../htdocs/acis1/wrls/N.wrl" and shown at "/acis1/shtml/desenhaN.shtml".
 *
 * Errors: nothing is reported here. An absent field reads as the empty text (so it converts to 0).
 * A file that cannot be written ends the process with "Unable to open file!" and exit code 1 (see
 * satvrml.h), before any redirect is printed. */
#ifndef ROVAK_MODELER_SITE_H
#define ROVAK_MODELER_SITE_H

#include <string>

class BODY;

// The value of the form field name, or "" when the form has none.
const char *modelerField(const char *name);
// The field converted with atof / atoi (0 for an absent field).
double modelerNumber(const char *name);
int modelerInteger(const char *name);

// The SAT and VRML paths of the shape name, relative to the CGI folder.
std::string modelerSatPath(const char *name);
std::string modelerWrlPath(const char *name);

// The web host of the redirect: HTTP_HOST, else SERVER_NAME with SERVER_PORT (left out when it is
// 80), else "localhost". A value holding anything but the characters of a host name and port is
// passed over, so a request cannot add its own header lines to the response.
std::string modelerHost();

// Saves body as the shape's SAT file, then converts that file into the shape's scene. The modeller
// must be started.
void modelerWriteFiles(const char *name, BODY *body);
// Prints the one-line response "Location: http://HOST/acis1/shtml/desenhaNAME.shtml" and an
// empty line, then flushes standard output.
void modelerRedirect(const char *name);

#endif
