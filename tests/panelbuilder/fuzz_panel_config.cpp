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

// Qt 5.15's JSON parser leaks the replaced value when an object repeats a
// key whose value is an object or array ({"a":{},"a":{}}); that is the
// toolkit's, and the reader keeps no heap memory of its own outside Qt's
// containers, so leaks allocated inside Qt Core are not reported.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}

namespace {

void parse(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return;
    PanelItem item;
    parsePanelItem(document.object(), &item);
    checkTree(item, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietLog);
    // The toolkit and the reader build some tables once, on first use; built
    // here, they are not taken for a leak of the first input.
    parse(R"({"displayName":"美颜","uiType":"Slider","propertyList":[{"uiType":"x","uiState":1,)"
          R"("sdkParam":{"effectName":"a","effectValue":1.5,"extraInfo":{"k":"v"}}}]})");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    parse(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
