// The fuzz target "j1939": the input is a stream of frames, each made of 12
// bytes
//
//   kind  time step  addresses  length  8 data bytes
//
// kind & 7: 0 a BAM, 1 an RTS, 2 a CTS, 3 an abort (TP.CM with that control
// byte), 4 a TP.DT data packet, 5 a message of a group the library decodes
// (DM1, DM2, vehicle, component, software identification, address claim,
// engine configuration, request: kind >> 5), 6 any extended identifier
// (kind >> 3 and the first data bytes), 7 a standard frame. The time moves
// by the signed step times 10 ms, back and forth; the addresses byte gives a
// sender among 0-7 and 248-255 and a receiver among 0-6 and the global
// address, so that sessions meet and interleave; a length byte below 224 is
// 8 bytes, else length % 9. Byte 0 of the input sets the size of a small
// reassembler (1 to 8 sessions) that must make room often.
//
// Every extended frame goes to the bus summary (as vornix-dump j1939 reads a
// recording) and to the small reassembler; each reassembler is checked frame
// by frame against the plain model (tools/fuzz/transportmodel.h), and after
// finish() every announcement has ended as complete, aborted or incomplete.
// The identifier fields give the identifier back, the decoders' fields stay
// in their ranges, the summary's counts add up and its JSON reads back.

#include "tools/fuzz/fuzzcheck.h"
#include "tools/fuzz/transportmodel.h"

#include "j1939/bussummary.h"
#include "j1939/diagnostics.h"
#include "j1939/identification.h"
#include "j1939/identifier.h"
#include "j1939/names.h"
#include "tools/j1939report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace fuzz {

namespace {

constexpr int RECORD_BYTES = 12;
constexpr qint64 STEP_US = 10000;

constexpr quint32 CONTENT_GROUPS[8] = {j1939::PGN_DM1,         j1939::PGN_DM2,
                                       j1939::PGN_VEHICLE_ID,  j1939::PGN_COMPONENT_ID,
                                       j1939::PGN_SOFTWARE_ID, j1939::PGN_ADDRESS_CLAIMED,
                                       j1939::PGN_ENGINE_CONFIGURATION, j1939::PGN_REQUEST};

bool sameCounts(const j1939::TransportCounts &a, const j1939::TransportCounts &b)
{
    return a.bam == b.bam && a.rts == b.rts && a.complete == b.complete && a.aborted == b.aborted
           && a.incomplete == b.incomplete && a.timedOut == b.timedOut && a.evicted == b.evicted
           && a.duplicates == b.duplicates && a.stray == b.stray;
}

QString countsText(const j1939::TransportCounts &c)
{
    return QStringLiteral("bam %1 rts %2 complete %3 aborted %4 incomplete %5 timed out %6 evicted %7 dup %8 stray %9")
        .arg(c.bam)
        .arg(c.rts)
        .arg(c.complete)
        .arg(c.aborted)
        .arg(c.incomplete)
        .arg(c.timedOut)
        .arg(c.evicted)
        .arg(c.duplicates)
        .arg(c.stray);
}

bool isPadding(QChar c)
{
    return c == QLatin1Char(' ') || c == QChar(0) || c == QChar(0xFF);
}

// The decoders of the groups the library reads, on any bytes.
const char *checkContent(quint32 pgn, const quint8 *data, int size)
{
    if (pgn == j1939::PGN_DM1 || pgn == j1939::PGN_DM2) {
        const j1939::DiagnosticMessage message = j1939::decodeDiagnosticMessage(data, size);
        if (message.codes.size() > j1939::troubleCodeSlots(size))
            return "more trouble codes than the message has room for";
        for (const j1939::TroubleCode &code : message.codes) {
            if (code.spn >= (1u << 19) || code.fmi >= 32 || code.occurrences >= 128)
                return "a trouble code field beyond its bits";
        }
        const j1939::LampStatus &l = message.lamps;
        for (const quint8 lamp : {l.malfunction, l.redStop, l.amberWarning, l.protect, l.flashMalfunction,
                                  l.flashRedStop, l.flashAmberWarning, l.flashProtect}) {
            if (lamp > 3)
                return "a lamp state beyond two bits";
        }
    }
    const QStringList fields = j1939::textFields(data, size);
    int characters = 0;
    for (const QString &field : fields) {
        characters += field.size();
        if (!field.isEmpty() && isPadding(field.back()))
            return "an identification field that ends in padding";
    }
    if (characters + qMax(0, fields.size() - 1) > size)
        return "identification fields longer than their bytes";
    const QStringList software = j1939::softwareIdentification(data, size);
    if (software.size() > (size > 0 ? data[0] : 0))
        return "more software identifications than byte 0 counts";
    if (j1939::componentIdentification(data, size).make != fields.value(0)
        || j1939::vehicleIdentification(data, size) != fields.value(0))
        return "vehicle or component identification is not the first field";
    j1939::ControlUnitName name;
    if (j1939::controlUnitName(data, size, name) != (size >= 8))
        return "an address claim name read from fewer than 8 bytes";
    return nullptr;
}

const char *checkIdentifier(quint32 id)
{
    const quint32 group = j1939::pgn(id);
    if (group >= (1u << 18))
        return "a parameter group number beyond 18 bits";
    if (j1939::identifier(j1939::priority(id), group, j1939::sourceAddress(id), j1939::destinationAddress(id))
        != (id & 0x1FFFFFFF))
        return "the identifier's fields do not give the identifier back";
    const j1939::ParameterGroupName *named = j1939::parameterGroupName(group);
    if (named && named->pgn != group && !(group >= 65280 && group <= 65535))
        return "a parameter group named after another one";
    j1939::pgnName(group);
    j1939::sourceAddressName(j1939::sourceAddress(id));
    return nullptr;
}

bool sameMessage(const j1939::TransportMessage *real, const ModelMessage &model)
{
    return real->timeUs == model.timeUs && real->pgn == model.pgn && real->source == model.source
           && real->destination == model.destination && real->size == int(model.data.size())
           && std::memcmp(real->data, model.data.data(), model.data.size()) == 0;
}

// One reassembler against its model, for one frame.
const char *compare(j1939::TransportReassembler &real, TransportModel &model, qint64 timeUs, quint32 id,
                    const quint8 *data, int size, int maxOpen)
{
    ModelMessage expected;
    const bool completes = model.add(timeUs, id, data, size, &expected);
    const j1939::TransportMessage *message = real.add(timeUs, id, data, size);
    if (completes != (message != nullptr) || (message && !sameMessage(message, expected)))
        return "the reassembler's message differs from the model's";
    if (message) {
        if (message->size < 1 || message->size > j1939::TransportReassembler::MAX_MESSAGE_SIZE)
            return "a message of an impossible size";
        if (const char *failed = checkContent(message->pgn, message->data, message->size))
            return failed;
    }
    if (!sameCounts(real.counts(), model.counts()) || real.openSessions() != model.openSessions())
        return failure(QStringLiteral("reassembler %1, model %2 (%3 and %4 open)")
                           .arg(countsText(real.counts()), countsText(model.counts()))
                           .arg(real.openSessions())
                           .arg(model.openSessions()));
    if (real.openSessions() > maxOpen)
        return "more sessions open than the reassembler has room for";
    return nullptr;
}

const char *checkEnded(const j1939::TransportCounts &c)
{
    if (c.complete + c.aborted + c.incomplete != c.bam + c.rts)
        return failure(QStringLiteral("after finish, complete, aborted and incomplete are not the announcements: %1")
                           .arg(countsText(c)));
    if (c.timedOut + c.evicted > c.incomplete)
        return "more timed out and evicted than incomplete";
    return nullptr;
}

const char *checkSummary(const j1939::BusSummary &summary, qint64 extendedFrames, bool renderings)
{
    if (summary.extendedFrames() != extendedFrames)
        return "the summary counts another number of extended frames";
    qint64 bySource = 0, byGroup = 0;
    for (const j1939::SourceSummary &source : summary.sources()) {
        bySource += source.frames;
        for (const qint64 frames : source.pgnFrames)
            byGroup += frames;
    }
    if (bySource != extendedFrames || byGroup != extendedFrames)
        return "the frames of the senders or of their groups do not add up";
    qint64 messages = 0;
    for (const j1939::MessageSummary &m : summary.messages()) {
        if (m.count < 1 || m.maxLength < 1 || m.maxLength > j1939::TransportReassembler::MAX_MESSAGE_SIZE)
            return "a multi-packet message kind with an impossible count or length";
        messages += m.count;
    }
    if (messages > summary.transport().complete)
        return "more multi-packet messages than complete sessions";
    for (const j1939::FaultSummary &f : summary.faults()) {
        if (f.spn >= (1u << 19) || f.fmi >= 32 || f.messages < 1)
            return "a fault beyond its fields";
    }
    if (!renderings)
        return nullptr;

    // The JSON reads back, with the identification texts as they were.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(j1939report::json(summary), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return failure(QStringLiteral("the JSON summary does not read: %1").arg(error.errorString()));
    const QJsonArray vins = document.object().value(QStringLiteral("vin")).toArray();
    const auto kept = summary.vins();
    if (vins.size() != kept.size())
        return "the JSON summary has another number of vehicle identifications";
    for (int i = 0; i < vins.size(); ++i) {
        if (vins.at(i).toObject().value(QStringLiteral("vin")).toString() != kept.at(i).value)
            return "a vehicle identification does not read back from the JSON summary";
    }
    j1939report::text(summary);
    return nullptr;
}

} // namespace

const char *checkJ1939(const uint8_t *input, size_t size)
{
    if (size == 0)
        return nullptr;
    const int smallRoom = 1 + (input[0] & 7);
    j1939::TransportReassembler small(smallRoom);
    TransportModel smallModel(smallRoom);
    TransportModel summaryModel(j1939::TransportReassembler::DEFAULT_MAX_OPEN_SESSIONS);
    j1939::BusSummary summary;

    qint64 timeUs = 1600000000000000;
    qint64 extendedFrames = 0;
    for (size_t at = 1; at + RECORD_BYTES <= size; at += RECORD_BYTES) {
        const uint8_t *r = input + at;
        const quint8 kind = r[0];
        timeUs += qint64(qint8(r[1])) * STEP_US;
        const quint8 source = quint8((r[2] & 7) | (r[2] & 0x40 ? 0xF8 : 0));
        const quint8 receiverBits = (r[2] >> 3) & 7;
        const quint8 receiver = receiverBits == 7 ? j1939::GLOBAL_ADDRESS : receiverBits;
        const int length = r[3] < 224 ? 8 : r[3] % 9;
        quint8 data[8];
        std::memcpy(data, r + 4, 8);

        quint32 id = 0;
        bool extended = true;
        switch (kind & 7) {
        case 0:
        case 1:
        case 2:
        case 3: {
            static constexpr quint8 CONTROL[4] = {32, 16, 17, 255};
            data[0] = CONTROL[kind & 3];
            id = j1939::identifier(7, j1939::PGN_TP_CONNECTION, source, (kind & 7) == 0 ? j1939::GLOBAL_ADDRESS : receiver);
            break;
        }
        case 4:
            id = j1939::identifier(7, j1939::PGN_TP_DATA, source, receiver);
            break;
        case 5:
            id = j1939::identifier(6, CONTENT_GROUPS[kind >> 5], source, receiver);
            break;
        case 6:
            id = (quint32(kind >> 3) << 24) | (quint32(data[0]) << 16) | (quint32(data[1]) << 8) | source;
            break;
        default:
            id = ((quint32(r[2]) << 3) | (kind >> 5)) & 0x7FF;
            extended = false;
            break;
        }

        summary.add(timeUs, id, extended, data, length);
        if (!extended)
            continue;
        ++extendedFrames;
        if (const char *failed = checkIdentifier(id))
            return failed;
        if (const char *failed = checkContent(j1939::pgn(id), data, length))
            return failed;
        ModelMessage ignored;
        summaryModel.add(timeUs, id, data, length, &ignored);
        if (!sameCounts(summary.transport(), summaryModel.counts()))
            return failure(QStringLiteral("the summary's reassembler %1, model %2")
                               .arg(countsText(summary.transport()), countsText(summaryModel.counts())));
        if (const char *failed = compare(small, smallModel, timeUs, id, data, length, smallRoom))
            return failed;
    }

    summary.finish();
    summaryModel.finish();
    small.finish();
    smallModel.finish();
    if (!sameCounts(summary.transport(), summaryModel.counts()) || !sameCounts(small.counts(), smallModel.counts()))
        return "after finish, a reassembler's counts differ from the model's";
    if (small.openSessions() != 0)
        return "sessions open after finish";
    if (const char *failed = checkEnded(summary.transport()))
        return failed;
    if (const char *failed = checkEnded(small.counts()))
        return failed;
    // The tool's renderings cost more than all the rest: the fuzzers make
    // them for a quarter of the inputs, chosen by their bytes.
    const bool renderings =
        takesQuarter(QByteArray::fromRawData(reinterpret_cast<const char *>(input), int(size)), 0);
    return checkSummary(summary, extendedFrames, renderings);
}

} // namespace fuzz
