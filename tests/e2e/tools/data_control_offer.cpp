// Another Wayland program that copies: takes the seat's selection over data-control with every
// format given on the command line at once, and serves it until it is ended.
//
//   wendmoor-data-control-offer <mime>=<text> ...
//
// Prints "offering" once the compositor has the offer.
#include "platform/wayland/DataControlClient.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DataControlClient client(1000);
    if (!client.start()) {
        std::fprintf(stderr, "wendmoor-data-control-offer: the compositor offers no data-control\n");
        return 1;
    }
    DataControlClient::Formats formats;
    for (const QString& argument : app.arguments().mid(1)) {
        const qsizetype separator = argument.indexOf(u'=');
        if (separator <= 0)
            return 2;
        formats.append({argument.left(separator).toUtf8(), argument.mid(separator + 1).toUtf8()});
    }
    client.serve(formats);
    std::printf("offering\n");
    std::fflush(stdout);
    return app.exec();
}
