// Fetches one address through a URL slot of the downloader window, shown on screen (offscreen without
// a display) so its readouts are drawn as they move, and prints the bytes and seconds it took.
//
//   tarnwick_download_bench URL DRIVES_FOLDER

#include <cstdio>
#include <filesystem>

#include "download/downloader.h"
#include "hostlink/local_host_transport.h"
#include "platform/curl/curl_transfers.h"
#include "toolbox/tool_registry.h"
// Qt last: its keywords would clash with names above.
#include "platform/qt/qt_runtime.h"
#include "ui/view_manager.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

using namespace tarnwick;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s URL DRIVES_FOLDER\n", argv[0]);
        return 2;
    }
    setenv("TARNWICK_DRIVES", argv[2], 1);
    QtRuntime::chooseHeadlessPlatform();
    QApplication app(argc, argv);
    QtRuntime rt;
    LocalHostTransport host(rt);
    HostHub hub(rt, host);
    ToolRegistry tools;
    const std::string settings = std::string(argv[2]) + "/settings";
    std::filesystem::create_directories(settings);
    ToolContext ctx{rt, hub, tools, settings};
    auto transfers = makeCurlTransfers(rt);
    Form13 form(ctx, transfers.get());
    tools.add(form);
    ViewManager views;
    views.add(form);
    form.show();
    form.txtURL11.setText(argv[1]);

    QElapsedTimer clock;
    bool ok = false;
    QTimer::singleShot(0, [&] {
        clock.start();
        form.DownloadAFile("C:\\News1.mp3", argv[1], false, true, [&](bool result) {
            ok = result;
            app.quit();
        });
    });
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const auto bytes = std::filesystem::exists(std::string(argv[2]) + "/c/News1.mp3")
                           ? std::filesystem::file_size(std::string(argv[2]) + "/c/News1.mp3")
                           : 0;
    std::printf("%s %llu %.3f %s\n", ok ? "ok" : "failed", static_cast<unsigned long long>(bytes), seconds,
                form.lblData[0].caption().c_str());
    return ok ? 0 : 1;
}
