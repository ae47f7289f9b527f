// Scripted answers and the call record of the test double.
#include "instio/visa_record/RecordingVisa.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zep {
namespace {

std::string AttributeName(ViAttr attribute) {
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        return "VI_ATTR_TMO_VALUE";
    case VI_ATTR_TERMCHAR:
        return "VI_ATTR_TERMCHAR";
    case VI_ATTR_TERMCHAR_EN:
        return "VI_ATTR_TERMCHAR_EN";
    case VI_ATTR_SEND_END_EN:
        return "VI_ATTR_SEND_END_EN";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(attribute));
        return text;
    }
    }
}

std::string Number(long long value) {
    return std::to_string(value);
}

} // namespace

std::string RecordingVisa::Quote(std::string_view bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '"':
            text += "\\\"";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                text += escape;
            } else {
                text += c;
            }
        }
    }
    return text + "\"";
}

RecordingVisa::Instrument& RecordingVisa::AddInstrument(const std::string& resource) {
    auto& slot = instruments_[resource];
    if (!slot) {
        slot = std::make_unique<Instrument>();
    }
    return *slot;
}

RecordingVisa::Instrument* RecordingVisa::InstrumentOf(const std::string& resource) {
    const auto found = instruments_.find(resource);
    return found == instruments_.end() ? nullptr : found->second.get();
}

void RecordingVisa::SetFindResult(const std::string& expression, std::vector<std::string> matches) {
    findResults_[expression] = std::move(matches);
}

RecordingVisa::Instrument* RecordingVisa::SessionInstrument(ViSession session) {
    const auto found = sessions_.find(session);
    return found == sessions_.end() ? nullptr : found->second;
}

ViStatus RecordingVisa::Record(std::string line, ViStatus status) {
    calls_.push_back(std::move(line) + " -> " + Number(status));
    return status;
}

ViStatus RecordingVisa::viOpenDefaultRM(ViSession& resourceManager) {
    resourceManager = nextSession_++;
    resourceManagers_[resourceManager] = true;
    return Record("viOpenDefaultRM() = " + Number(resourceManager), VI_SUCCESS);
}

ViStatus RecordingVisa::viOpen(ViSession resourceManager, std::string_view resource, ViAccessMode accessMode,
                               ViUInt32 openTimeout, ViSession& session) {
    session = VI_NULL;
    const std::string line = "viOpen(" + Number(resourceManager) + "," + Quote(resource) + "," +
                             Number(accessMode) + "," + Number(openTimeout) + ")";
    if (resourceManagers_.count(resourceManager) == 0) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    Instrument* instrument = InstrumentOf(std::string(resource));
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_RSRC_NFOUND);
    }
    if (instrument->openStatus < 0) {
        return Record(line, instrument->openStatus);
    }
    session = nextSession_++;
    sessions_[session] = instrument;
    return Record(line + " = " + Number(session), instrument->openStatus);
}

ViStatus RecordingVisa::viClose(ViSession handle) {
    const std::string line = "viClose(" + Number(handle) + ")";
    if (sessions_.erase(handle) + resourceManagers_.erase(handle) + findLists_.erase(handle) > 0) {
        return Record(line, VI_SUCCESS);
    }
    return Record(line, handle == VI_NULL ? VI_WARN_NULL_OBJECT : VI_ERROR_INV_OBJECT);
}

ViStatus RecordingVisa::viSetAttribute(ViSession session, ViAttr attribute, ViAttrState value) {
    const std::string line = "viSetAttribute(" + Number(session) + "," + AttributeName(attribute) + "," +
                             Number(static_cast<long long>(value)) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (attribute == VI_ATTR_TMO_VALUE) {
        instrument->timeoutMs = static_cast<ViUInt32>(value);
    }
    return Record(line, VI_SUCCESS);
}

ViStatus RecordingVisa::viGetAttribute(ViSession session, ViAttr attribute, ViAttrState& value) {
    value = 0;
    const std::string line = "viGetAttribute(" + Number(session) + "," + AttributeName(attribute) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (attribute != VI_ATTR_TMO_VALUE) {
        return Record(line, VI_ERROR_NSUP_ATTR);
    }
    value = instrument->timeoutMs;
    return Record(line, VI_SUCCESS);
}

ViStatus RecordingVisa::viWrite(ViSession session, const void* data, ViUInt32 count, ViUInt32& written) {
    written = 0;
    const std::string_view bytes(static_cast<const char*>(data), data == nullptr ? 0 : count);
    const std::string line = "viWrite(" + Number(session) + "," + Quote(bytes) + "," + Number(count) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (instrument->writeStatus < 0) {
        return Record(line, instrument->writeStatus);
    }
    written = count;
    instrument->written.append(bytes);
    if (instrument->responder) {
        std::string answer = instrument->responder(bytes);
        if (!answer.empty()) {
            instrument->reads.push_back(std::move(answer));
        }
    }
    return Record(line, instrument->writeStatus);
}

ViStatus RecordingVisa::viRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    read = 0;
    const std::string line = "viRead(" + Number(session) + "," + Number(count) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (instrument->reads.empty()) {
        return Record(line, instrument->readStatusWhenEmpty);
    }
    std::string& front = instrument->reads.front();
    const std::size_t take = std::min<std::size_t>(count, front.size());
    std::memcpy(buffer, front.data(), take);
    read = static_cast<ViUInt32>(take);
    ViStatus status = VI_SUCCESS;
    if (take < front.size()) {
        front.erase(0, take);
        status = VI_SUCCESS_MAX_CNT;
    } else {
        instrument->reads.pop_front();
    }
    return Record(line + " = " + Quote(std::string_view(static_cast<const char*>(buffer), take)), status);
}

ViStatus RecordingVisa::viBufRead(ViSession session, void* buffer, ViUInt32 count, ViUInt32& read) {
    return viRead(session, buffer, count, read);
}

ViStatus RecordingVisa::viReadToFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                     ViUInt32& read) {
    read = 0;
    return Record("viReadToFile(" + Number(session) + "," + Quote(fileName) + "," + Number(count) + ")",
                  VI_ERROR_NSUP_OPER);
}

ViStatus RecordingVisa::viWriteFromFile(ViSession session, std::string_view fileName, ViUInt32 count,
                                        ViUInt32& written) {
    written = 0;
    return Record("viWriteFromFile(" + Number(session) + "," + Quote(fileName) + "," + Number(count) + ")",
                  VI_ERROR_NSUP_OPER);
}

ViStatus RecordingVisa::viReadSTB(ViSession session, ViUInt16& statusByte) {
    statusByte = 0;
    const std::string line = "viReadSTB(" + Number(session) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (!instrument->statusBytes.empty()) {
        statusByte = instrument->statusBytes.front();
        if (instrument->statusBytes.size() > 1) {
            instrument->statusBytes.pop_front();
        }
    }
    return Record(line + " = " + Number(statusByte), VI_SUCCESS);
}

ViStatus RecordingVisa::viClear(ViSession session) {
    const std::string line = "viClear(" + Number(session) + ")";
    Instrument* instrument = SessionInstrument(session);
    if (instrument == nullptr) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    instrument->reads.clear();
    return Record(line, instrument->clearStatus);
}

ViStatus RecordingVisa::viGpibSendIFC(ViSession session) {
    const std::string line = "viGpibSendIFC(" + Number(session) + ")";
    // Like VISA, rejects what is not a session (board 0 of the older numbering, for example).
    return Record(line, SessionInstrument(session) != nullptr ? VI_SUCCESS : VI_ERROR_INV_OBJECT);
}

ViStatus RecordingVisa::viGpibControlREN(ViSession session, ViUInt16 mode) {
    const std::string line = "viGpibControlREN(" + Number(session) + "," + Number(mode) + ")";
    return Record(line, SessionInstrument(session) != nullptr ? VI_SUCCESS : VI_ERROR_INV_OBJECT);
}

ViStatus RecordingVisa::viFindRsrc(ViSession resourceManager, std::string_view expression,
                                   ViFindList& findList, ViUInt32& matchCount, std::string& firstDescriptor) {
    findList = VI_NULL;
    matchCount = 0;
    firstDescriptor.clear();
    const std::string line = "viFindRsrc(" + Number(resourceManager) + "," + Quote(expression) + ")";
    if (resourceManagers_.count(resourceManager) == 0) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    const auto found = findResults_.find(std::string(expression));
    if (found == findResults_.end() || found->second.empty()) {
        return Record(line, VI_ERROR_RSRC_NFOUND);
    }
    findList = nextSession_++;
    findLists_[findList] = FindList{found->second, 1};
    matchCount = static_cast<ViUInt32>(found->second.size());
    firstDescriptor = found->second.front();
    return Record(line + " = " + Number(findList) + "," + Number(matchCount) + "," + Quote(firstDescriptor),
                  VI_SUCCESS);
}

ViStatus RecordingVisa::viFindNext(ViFindList findList, std::string& descriptor) {
    descriptor.clear();
    const std::string line = "viFindNext(" + Number(findList) + ")";
    const auto found = findLists_.find(findList);
    if (found == findLists_.end()) {
        return Record(line, VI_ERROR_INV_OBJECT);
    }
    if (found->second.next >= found->second.matches.size()) {
        return Record(line, VI_ERROR_RSRC_NFOUND);
    }
    descriptor = found->second.matches[found->second.next++];
    return Record(line + " = " + Quote(descriptor), VI_SUCCESS);
}

ViStatus RecordingVisa::viParseRsrc(ViSession resourceManager, std::string_view resource,
                                    ViUInt16& interfaceType, ViUInt16& interfaceNumber) {
    interfaceType = 0;
    interfaceNumber = 0;
    return Record("viParseRsrc(" + Number(resourceManager) + "," + Quote(resource) + ")", VI_ERROR_NSUP_OPER);
}

} // namespace zep
