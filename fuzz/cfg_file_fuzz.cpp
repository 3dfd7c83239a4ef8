// Arbitrary files through the configuration-file reader: either refused with a message, or a record the
// configuration form accepts that saves and reads back unchanged for the same controller.
//
// Input: the controller's software version byte at the back; the file's bytes from the front.
#include "CfgFile.h"
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const quint8 controller = in.ConsumeIntegralInRange<quint8>(0, 5);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray bytes(rest.data(), qsizetype(rest.size()));

    const CfgFileRead read = ReadCfgFile(bytes, controller, QStringLiteral("f.json"));
    if (read.outcome != CfgFileRead::Outcome::Loaded) {
        Require(!read.message.isEmpty());
        return 0;
    }
    Require(proto::ConfigReadSize(read.softVersion) == proto::ConfigReadSize(controller));
    const CfgRecord& r = read.record;
    Require(r.FlCount >= 1 && r.FlCount <= 3);
    Require(r.V > 0 && r.Nag >= 10 && r.Nag <= 200 && r.Pause >= 10 && r.Pause <= 100);
    Require(r.Period >= 100 && r.Period <= 1000 && r.Answer >= 500 && r.Answer <= 2000);
    const CfgFileRead again =
        ReadCfgFile(CfgFileBytes(r, read.softVersion, QDateTime()), controller, QStringLiteral("f.json"));
    Require(again.outcome == CfgFileRead::Outcome::Loaded && again.record == r);
    return 0;
}
