// Arbitrary bytes as "param.ini": the start-up check and the four loaders must take
// anything a damaged disk or a hand edit leaves there without crashing, and what they
// load must be usable by the port settings that read it next.
//
// Input: the whole file.
#include "core/paths.h"
#include "core/settings.h"

#include "tests/fuzz/fuzzsupport.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {
// Every run writes the same file; a fresh folder per input would cost more than the
// loaders.
QTemporaryDir *dataLocation = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startFuzzApplication(argc, argv);
    dataLocation = makeScratchFolder();
    initAppPaths(dataLocation->path(), dataLocation->path());
    check(QDir().mkpath(appPaths.paramDir));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(appPaths.paramIniPath);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        check(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    loadAllSettings();

    (void)devicePortBaud(systemSettings.dev_boudrate);
    (void)modemPortBaud(systemSettings.msg_boudrate);
    const int dataBits = portDataBits(systemSettings.dev_databit);
    check(dataBits >= 6 && dataBits <= 8);
    const char parity = portParity(systemSettings.dev_checkbit);
    check(parity == 'N' || parity == 'O' || parity == 'E');
    const int stopBits = portStopBits(systemSettings.dev_stopbit);
    check(stopBits == 1 || stopBits == 2);
    (void)genTablesFor(deviceSettings.comProtocol);
    return 0;
}
