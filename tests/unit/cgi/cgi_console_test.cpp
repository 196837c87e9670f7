// The console test mode, driven through the child's standard input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cgi_child.h"

namespace {

const std::string kBanner = "Enter querystring or type 'i' for interactive mode'\n";

struct ConsoleCase {
    const char *title;
    std::vector<std::string> env; // no REQUEST_METHOD, or an empty one
    std::string input;
    std::vector<std::string> commands;
    std::string expected; // after the banner
};

std::vector<ConsoleCase> consoleCases() {
    return {
        {"a typed query string fills an ordinary store",
         {},
         "a=1&b=%41\n",
         {"count", "value", "b", "source", "a"},
         "count=2\nvalue=A\nsource=form\n"},
        {"an empty method is test mode too; the environment is not read",
         {"REQUEST_METHOD=", "QUERY_STRING=q=1"},
         "\n",
         {"count"},
         "count=0\n"},
        {"end of input at the banner gives no field", {}, "", {"count"}, "count=0\n"},
        {"interactive counts, names and existence",
         {},
         "i\n4\ndiam\ny\nn\n2\n",
         {"count", "name", "3", "exists", "diam", "exists", "h", "num", "diam", "num", "(null)"},
         "Enter the number of data objects that exist:count=4\n"
         "Please specify the fieldname at position 3 (from 0)\nname=diam\n"
         "Does the field 'diam' exist? (y|n)Returning true\nexists=true\n"
         "Does the field 'h' exist? (y|n)Returning false\nexists=false\n"
         "Enter the number of values that exist for fieldname 'diam'\nnum=2\n"
         "The program asked the number of values for a NULL fieldname\nnum=0\n"},
        {"interactive values",
         {},
         "i\n12.5\nNULL\nx\n",
         {"value", "diam", "valuei", "h", "2", "valuep", "7"},
         "Please specify the value for field 'diam'  at position 0 (from 0)\n"
         "OR enter NULL for nonevalue=12.5\n"
         "Please specify the value for field 'h'  at position 2 (from 0)\n"
         "OR enter NULL for nonevaluei=(null)\n"
         "Please specify the value for field at index'7'\nOR enter NULL for nonevaluep=x\n"},
        {"interactive lengths",
         {},
         "i\n5\n-3\n",
         {"lengthi", "d", "1", "lengthp", "2", "length", "(null)"},
         "Enter the length of the value for fieldname 'd at position 1 (from 0)'\nlengthi=5\n"
         "Enter the length of the value for fieldname at position 2 (from 0)\nlengthp=0\n"
         "The program asked the length of a field's value for a NULL field\nlength=0\n"},
        {"interactive file, type and source questions",
         {},
         "i\np\nq\nf\ng\nt\nu\ns\nv\n",
         {"filepath", "d", "filepathp", "1", "filename", "d", "filenamep", "1", "type", "d",
          "typep", "1", "source", "d", "sourcep", "1"},
         "Please specify the filepath for field 'd'  at position 0 (from 0)\nfilepath=p\n"
         "Please specify the filepath at position 1 (from 0)\nfilepathp=q\n"
         "Please specify the filename for field 'd'  at position 0 (from 0)\nfilename=f\n"
         "Please specify the filename for field at position 1 (from 0)\nfilenamep=g\n"
         "Please specify the content-type for field 'd'  at position 0 (from 0)\ntype=t\n"
         "Please specify the content-type for field at position 1 (from 0)\ntypep=u\n"
         "Enter the datasource of the value for fieldname 'd'  at position 0 (from 0)\n"
         "source=s\n"
         "Enter the datasource of the value (cookie, path, form) for fieldname at position 1 "
         "(from 0)\nsourcep=v\n"},
        {"case switch is reported; end of input answers nothing",
         {},
         "i\n",
         {"case", "off", "case", "on", "value", "a", "count", "exists", "a"},
         "Case sensitivity has been turned off\nCase sensitivity has been turned on\n"
         "Please specify the value for field 'a'  at position 0 (from 0)\n"
         "OR enter NULL for nonevalue=(null)\n"
         "Enter the number of data objects that exist:count=0\n"
         "Does the field 'a' exist? (y|n)Returning false\nexists=false\n"},
        {"answers keep their text after later answers",
         {},
         "i\r\nfirst\r\nsecond\r\n",
         {"value", "a", "value", "b"},
         "Please specify the value for field 'a'  at position 0 (from 0)\n"
         "OR enter NULL for nonevalue=first\n"
         "Please specify the value for field 'b'  at position 0 (from 0)\n"
         "OR enter NULL for nonevalue=second\n"},
    };
}

TEST(CgiConsole, Table) {
    for (const ConsoleCase &c : consoleCases()) {
        SCOPED_TRACE(c.title);
        CgiChildResult r = cgiRunDriver(c.env, c.commands, c.input);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, kBanner + c.expected);
    }
}

} // namespace
