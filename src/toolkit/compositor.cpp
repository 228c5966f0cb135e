// The Wayland compositor's offers, read from its registry through libwayland-client, which
// Qt's Wayland platform has loaded already. The library is opened at run time, not linked: an
// X11 desktop needs neither it nor its headers, and the program asks it for a handful of
// entry points only.
#include "toolkit/compositor.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdint>
#include <cstring>
#include <dlfcn.h>

namespace vendrix {

namespace {

// libwayland-client's objects, opaque to the program.
struct TWlDisplay;
struct TWlProxy;
struct TWlInterface;

// The events of wl_registry, in the order the protocol numbers them.
struct TRegistryListener {
    void (*global)(void* data, TWlProxy* registry, std::uint32_t name, const char* interface,
        std::uint32_t version);
    void (*globalRemove)(void* data, TWlProxy* registry, std::uint32_t name);
};

constexpr std::uint32_t kGetRegistry = 1; // wl_display.get_registry

// The library and the entry points the registry walk needs; Ready() when all were found.
class TWaylandClient {
public:
    TWaylandClient()
        : m_library(dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL))
    {
        if (!m_library)
            return;
        Find(connect, "wl_display_connect");
        Find(disconnect, "wl_display_disconnect");
        Find(roundtrip, "wl_display_roundtrip");
        Find(marshalConstructor, "wl_proxy_marshal_constructor");
        Find(addListener, "wl_proxy_add_listener");
        Find(destroy, "wl_proxy_destroy");
        registryInterface
            = static_cast<const TWlInterface*>(dlsym(m_library, "wl_registry_interface"));
    }
    ~TWaylandClient()
    {
        if (m_library)
            dlclose(m_library);
    }
    TWaylandClient(const TWaylandClient&) = delete;
    TWaylandClient& operator=(const TWaylandClient&) = delete;

    bool Ready() const
    {
        return connect && disconnect && roundtrip && marshalConstructor && addListener && destroy
            && registryInterface;
    }

    TWlDisplay* (*connect)(const char* name) = nullptr;
    void (*disconnect)(TWlDisplay* display) = nullptr;
    int (*roundtrip)(TWlDisplay* display) = nullptr;
    TWlProxy* (*marshalConstructor)(
        TWlProxy* proxy, std::uint32_t opcode, const TWlInterface* interface, ...)
        = nullptr;
    int (*addListener)(TWlProxy* proxy, void (**implementation)(), void* data) = nullptr;
    void (*destroy)(TWlProxy* proxy) = nullptr;
    const TWlInterface* registryInterface = nullptr;

private:
    template <typename F> void Find(F& entry, const char* name)
    {
        entry = reinterpret_cast<F>(dlsym(m_library, name));
    }

    void* m_library;
};

struct TSearch {
    const char* wanted;
    bool found = false;
};

void OnGlobal(void* data, TWlProxy*, std::uint32_t, const char* interface, std::uint32_t)
{
    auto* search = static_cast<TSearch*>(data);
    if (interface && std::strcmp(interface, search->wanted) == 0)
        search->found = true;
}

void OnGlobalRemove(void*, TWlProxy*, std::uint32_t) { }

const TRegistryListener kListener {OnGlobal, OnGlobalRemove};

} // namespace

bool OnWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool CompositorOffers(const char* interfaceName)
{
    TWaylandClient client;
    if (!client.Ready())
        return false;
    TWlDisplay* display = client.connect(nullptr);
    if (!display)
        return false;
    TSearch search {interfaceName};
    TWlProxy* registry = client.marshalConstructor(
        reinterpret_cast<TWlProxy*>(display), kGetRegistry, client.registryInterface, nullptr);
    if (registry) {
        // The listener is read as the table of the registry's event handlers.
        client.addListener(registry,
            reinterpret_cast<void (**)()>(const_cast<TRegistryListener*>(&kListener)), &search);
        // Every global is announced before the round trip's answer.
        client.roundtrip(display);
        client.destroy(registry);
    }
    client.disconnect(display);
    return search.found;
}

bool MinimisedWindowsComeBack()
{
    if (!OnWayland())
        return true;
    // The compositor's offers do not change while the program runs.
    static const bool activates = CompositorOffers("xdg_activation_v1");
    return activates;
}

void ActivateWithToken(QWidget* window, const QString& token)
{
    static const char* const kVariable = "XDG_ACTIVATION_TOKEN";
    const bool handOver = OnWayland() && !token.isEmpty();
    if (handOver)
        qputenv(kVariable, token.toUtf8());
    window->activateWindow();
    // Qt takes the token for this one activation and removes it; without xdg-activation it
    // stays, and must not reach the programs this one starts.
    if (handOver)
        qunsetenv(kVariable);
}

} // namespace vendrix
