#include "web/HttpFetchCommand.h"

#include "web/HttpClient.h"
#include "web/ToolApplication.h"

#include <QCoreApplication>

#include <memory>

namespace larkspur {

int runFetchCommand(const std::vector<std::string>& urls, std::ostream& out, std::ostream& err)
{
    // The client waits in a Qt event loop, which needs an application object.
    const auto app = makeToolApplication();

    int status = 0;
    HttpClient client;
    for (const std::string& url : urls) {
        try {
            const std::string body = client.Get(url);
            out.write(body.data(), static_cast<std::streamsize>(body.size()));
            out.flush();
        } catch (const HttpError& e) {
            err << e.what() << '\n';
            status = 1;
        }
    }
    return status;
}

} // namespace larkspur
