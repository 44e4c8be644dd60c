// libFuzzer target for the panel description reader: arbitrary bytes as a
// panel JSON file, parsed into the PanelItem tree. Besides memory errors it
// checks the tree invariant the widgets rely on: every child points back to
// its parent.

#include "PanelConfig.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void quietLog(QtMsgType, const QMessageLogContext &, const QString &) {}

void checkTree(const PanelItem &item, int depth)
{
    if (depth > 10000) {
        std::fputs("fuzz_panel_config: tree deeper than the JSON parser allows\n", stderr);
        std::abort();
    }
    for (const PanelItem &child : item.children) {
        if (child.parent != &item) {
            std::fputs("fuzz_panel_config: child does not point to its parent\n", stderr);
            std::abort();
        }
        checkTree(child, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietLog);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return 0;
    PanelItem item;
    parsePanelItem(document.object(), &item);
    checkTree(item, 0);
    (void)uiTypeTable().value(item.displayName);
    return 0;
}
