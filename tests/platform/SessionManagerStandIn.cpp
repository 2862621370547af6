// A session manager for the tests, speaking XSMP over ICE as desktop session managers do. It
// prints its address as a SESSION_MANAGER line, then follows commands on standard input, one per
// line, for the one client it expects: "save" (a save-yourself for a log-out), "cancel" (the user
// cancelled the log-out) and "die" (the session ends). It reports "registered" and "saved" as
// the client gets there.
#include <X11/SM/SMlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

SmsConn client = nullptr;

void report(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// No authentication: only the test's own processes know the address.
Bool acceptAnyHost(char* /*hostName*/) {
    return True;
}

// A client that goes away ends its connection, not the session manager.
void ignoreBrokenConnection(IceConn /*connection*/) {}

Status registerClient(SmsConn conn, SmPointer /*data*/, char* previousId) {
    char* id = previousId ? previousId : SmsGenerateClientID(conn);
    SmsRegisterClientReply(conn, id);
    client = conn;
    report("registered");
    return 1;
}

void saveYourselfDone(SmsConn /*conn*/, SmPointer /*data*/, Bool /*success*/) {
    report("saved");
}

void setProperties(SmsConn /*conn*/, SmPointer /*data*/, int count, SmProp** props) {
    for (int i = 0; i < count; ++i)
        SmFreeProperty(props[i]);
    std::free(props);
}

void deleteProperties(SmsConn /*conn*/, SmPointer /*data*/, int count, char** names) {
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}

void getProperties(SmsConn conn, SmPointer /*data*/) {
    SmsReturnProperties(conn, 0, nullptr);
}

void interactRequest(SmsConn conn, SmPointer /*data*/, int /*dialogType*/) {
    SmsInteract(conn);
}

void interactDone(SmsConn /*conn*/, SmPointer /*data*/, Bool /*cancel*/) {}

void saveYourselfRequest(SmsConn /*conn*/, SmPointer /*data*/, int /*saveType*/, Bool /*shutdown*/,
                         int /*interactStyle*/, Bool /*fast*/, Bool /*global*/) {}

void phase2Request(SmsConn conn, SmPointer /*data*/) {
    SmsSaveYourselfPhase2(conn);
}

void closeConnection(SmsConn conn, SmPointer /*data*/, int count, char** reasons) {
    SmFreeReasons(count, reasons);
    SmsCleanUp(conn);
    client = nullptr;
    report("closed");
}

Status newClient(SmsConn /*conn*/, SmPointer /*data*/, unsigned long* mask, SmsCallbacks* callbacks,
                 char** /*failureReason*/) {
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = interactDone;
    callbacks->save_yourself_request.callback = saveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = phase2Request;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    return 1;
}

void command(const std::string& line) {
    if (!client)
        return;
    if (line == "save")
        SmsSaveYourself(client, SmSaveBoth, True, SmInteractStyleNone, False);
    else if (line == "cancel")
        SmsShutdownCancelled(client);
    else if (line == "die")
        SmsDie(client);
}

} // namespace

int main() {
    char error[256] = {};
    if (!SmsInitialize("skerrow-tests", "1", newClient, nullptr, acceptAnyHost, sizeof error,
                       error))
        return 1;
    IceSetIOErrorHandler(ignoreBrokenConnection);
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error))
        return 1;
    for (int i = 0; i < count; ++i)
        IceSetHostBasedAuthProc(listeners[i], acceptAnyHost);
    char* address = IceComposeNetworkIdList(count, listeners);
    std::printf("SESSION_MANAGER=%s\n", address);
    std::fflush(stdout);

    std::vector<IceConn> connections;
    std::string pending;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (int i = 0; i < count; ++i)
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        for (IceConn connection : connections)
            fds.push_back({IceConnectionNumber(connection), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            return 1;
        if (fds[0].revents) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0)
                return 0;
            pending.append(buffer, static_cast<size_t>(got));
            for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
                command(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
        for (int i = 0; i < count; ++i) {
            if (!fds[1 + static_cast<size_t>(i)].revents)
                continue;
            IceAcceptStatus status = IceAcceptSuccess;
            IceConn connection = IceAcceptConnection(listeners[i], &status);
            if (!connection)
                continue;
            while (IceConnectionStatus(connection) == IceConnectPending)
                IceProcessMessages(connection, nullptr, nullptr);
            if (IceConnectionStatus(connection) == IceConnectAccepted)
                connections.push_back(connection);
        }
        for (size_t i = 0; i < connections.size(); ++i) {
            if (!fds[1 + static_cast<size_t>(count) + i].revents)
                continue;
            if (IceProcessMessages(connections[i], nullptr, nullptr) ==
                IceProcessMessagesConnectionClosed) {
                IceCloseConnection(connections[i]);
                connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
}
