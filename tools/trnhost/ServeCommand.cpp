// trnhost serve: the listening socket, one thread per connection, and the
// orderly stop (end of a piped standard input, or Ctrl+C).
#include "ServeCommand.h"

#include "Net.h"

#include <list>
#include <memory>

#include "Catalog.h"
#include "Connection.h"
#include "Files.h"
#include "Output.h"
#include "Server.h"
#include "ServeCounters.h"

namespace trnhost {
namespace {

const uint16_t kDefaultPort = 8200;
// How often the accept loop looks at the stop event and reaps finished connections.
const DWORD kPollMs = 200;

// Set once to stop the server; lives until the process ends, since the
// input watcher may still hold it then.
HANDLE StopEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(StopEvent());
    return TRUE;
}

DWORD WINAPI WatchInput(void*) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    char ignored[256];
    DWORD got = 0;
    while (::ReadFile(input, ignored, sizeof ignored, &got, nullptr) && got) {
    }
    ::SetEvent(StopEvent());
    return 0;
}

// One accepted connection and the thread that serves it. The accept loop
// owns it and closes the socket only after the thread has ended.
struct Connection {
    UniqueSocket socket;
    UniqueHandle thread;
    volatile LONG done = 0;
    const Catalog* catalog = nullptr;
    ServeCounters* counters = nullptr;
    bool progid = false;

    ~Connection() {
        if (thread) ::WaitForSingleObject(thread.get(), INFINITE);
    }
};

DWORD WINAPI ConnectionMain(void* context) {
    Connection* c = static_cast<Connection*>(context);
    ServeConnection(c->socket.get(), *c->catalog, *c->counters, c->progid);
    ::shutdown(c->socket.get(), SD_SEND);
    ::InterlockedDecrement(&c->counters->connections);
    ::InterlockedExchange(&c->done, 1);
    return 0;
}

// Joins and releases the connections whose threads have finished.
void Reap(std::list<std::unique_ptr<Connection>>& connections) {
    for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->done)
            it = connections.erase(it);
        else
            ++it;
    }
}

// Closes the socket and waits for every connection thread on all paths.
struct ConnectionSet {
    std::list<std::unique_ptr<Connection>> open;
    ~ConnectionSet() {
        for (const auto& c : open) ::shutdown(c->socket.get(), SD_BOTH);
        open.clear();
    }
};

}  // namespace

int RunServe(const Arguments& args) {
    const std::wstring folder = StripTrailingSlashes(args.operands[0]);
    CheckFolder(folder);
    if (!StopEvent()) Check(HRESULT_FROM_WIN32(::GetLastError()), L"CreateEvent");

    const ComApartment apartment;
    std::unique_ptr<Catalog> catalog;
    {
        Server server(args.progid);
        catalog.reset(new Catalog(server, folder));
    }
    const WinsockSession winsock;
    const UniqueSocket listener = Listen(args.bind, args.port >= 0 ? static_cast<uint16_t>(args.port) : kDefaultPort);

    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    struct HandlerRemover {
        ~HandlerRemover() { ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE); }
    } handlerRemover;
    UniqueHandle watcher;
    if (::GetFileType(::GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE)
        watcher.reset(::CreateThread(nullptr, 0, &WatchInput, nullptr, 0, nullptr));

    const std::wstring address = args.bind.empty() ? L"127.0.0.1" : args.bind;
    PrintOut(L"serving " + folder + L": " + std::to_wstring(catalog->items().size()) + L" items, " +
             std::to_wstring(catalog->refused()) + L" files not offered, at http://" + address + L":" +
             std::to_wstring(BoundPort(listener.get())) + L"/\n");

    ServeCounters counters;
    ConnectionSet connections;
    while (::WaitForSingleObject(StopEvent(), 0) != WAIT_OBJECT_0) {
        Reap(connections.open);
        if (!WaitReadable(listener.get(), kPollMs)) continue;
        std::unique_ptr<Connection> c(new Connection);
        c->socket.reset(::accept(listener.get(), nullptr, nullptr));
        if (!c->socket) continue;
        c->catalog = catalog.get();
        c->counters = &counters;
        c->progid = args.progid;
        ::InterlockedIncrement(&counters.connections);
        c->thread.reset(::CreateThread(nullptr, 0, &ConnectionMain, c.get(), 0, nullptr));
        if (!c->thread) {
            ::InterlockedDecrement(&counters.connections);
            PrintErr(L"trnhost: no thread for a connection: " + HresultText(HRESULT_FROM_WIN32(::GetLastError())) +
                     L"\n");
            continue;
        }
        connections.open.push_back(std::move(c));
    }
    PrintOut(L"stopping after " + std::to_wstring(counters.requests) + L" requests\n");
    return 0;
}

}  // namespace trnhost
