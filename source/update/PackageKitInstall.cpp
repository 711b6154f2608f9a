#include "update/PackageKitInstall.h"

#include <gio/gio.h>

#include "common/LogHelper.h"
#include "common/Translate.h"

namespace tvc::update {
namespace {
constexpr const char* kService = "org.freedesktop.PackageKit";
constexpr const char* kTransactionInterface = "org.freedesktop.PackageKit.Transaction";
// PackageKit's enumerations (PkExitEnum, PkErrorEnum).
constexpr unsigned kExitSuccess = 1;
constexpr unsigned kExitCancelled = 3;
constexpr unsigned kErrorTransactionCancelled = 17;
constexpr unsigned kErrorNotAuthorized = 48;
constexpr unsigned kPercentUnknown = 101;

bool IsNoServiceError(const GError* error) {
    g_autofree char* name = g_dbus_error_get_remote_error(error);
    const std::string remote = name ? name : "";
    return remote == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           remote == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           remote.rfind("org.freedesktop.DBus.Error.Spawn.", 0) == 0;
}
}  // namespace

struct CPackageKitInstall::Impl : std::enable_shared_from_this<CPackageKitInstall::Impl> {
    std::string path;
    Handlers handlers;
    GCancellable* cancellable = g_cancellable_new();
    GDBusConnection* bus = nullptr;
    std::string transaction;
    guint signalsId = 0;
    guint ownerId = 0;
    unsigned errorCode = 0;
    std::string errorDetails;
    bool done = false;

    ~Impl() {
        g_cancellable_cancel(cancellable);
        if (bus && signalsId) g_dbus_connection_signal_unsubscribe(bus, signalsId);
        if (bus && ownerId) g_dbus_connection_signal_unsubscribe(bus, ownerId);
        g_clear_object(&bus);
        g_object_unref(cancellable);
    }

    // The reply callbacks' data: the object while it lives, nothing after.
    std::weak_ptr<Impl>* Token() {
        return std::make_unique<std::weak_ptr<Impl>>(weak_from_this()).release();
    }
    static void DropToken(gpointer data) {
        std::unique_ptr<std::weak_ptr<Impl>>(static_cast<std::weak_ptr<Impl>*>(data));
    }
    static std::shared_ptr<Impl> Take(gpointer data) {
        std::unique_ptr<std::weak_ptr<Impl>> token(static_cast<std::weak_ptr<Impl>*>(data));
        return token->lock();
    }

    void Finish(Outcome outcome, const std::string& details) {
        if (done) return;
        done = true;
        if (bus && signalsId) g_dbus_connection_signal_unsubscribe(bus, signalsId);
        if (bus && ownerId) g_dbus_connection_signal_unsubscribe(bus, ownerId);
        signalsId = ownerId = 0;
        // The handler may drop the last reference to us.
        auto keep = shared_from_this();
        if (handlers.finished) handlers.finished(outcome, details);
    }

    void Begin() { g_bus_get(G_BUS_TYPE_SYSTEM, cancellable, &Impl::OnBus, Token()); }

    static void OnBus(GObject*, GAsyncResult* result, gpointer data) {
        g_autoptr(GError) error = nullptr;
        GDBusConnection* bus = g_bus_get_finish(result, &error);
        auto self = Take(data);
        if (!self) {
            g_clear_object(&bus);
            return;
        }
        if (!bus) {
            self->Finish(Outcome::NoService, std::string("no system bus: ") + error->message);
            return;
        }
        self->bus = bus;
        // The service may not run yet: the call starts it where the bus can.
        g_dbus_connection_call(bus, kService, "/org/freedesktop/PackageKit", kService,
                               "CreateTransaction", nullptr, G_VARIANT_TYPE("(o)"),
                               G_DBUS_CALL_FLAGS_NONE, -1, self->cancellable,
                               &Impl::OnTransactionCreated, self->Token());
    }

    static void OnTransactionCreated(GObject* source, GAsyncResult* result, gpointer data) {
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply =
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        auto self = Take(data);
        if (!self) return;
        if (!reply) {
            self->Finish(IsNoServiceError(error) ? Outcome::NoService : Outcome::Failed,
                         error->message);
            return;
        }
        const char* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        self->transaction = path;
        self->signalsId = g_dbus_connection_signal_subscribe(
            self->bus, kService, nullptr, nullptr, path, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
            &Impl::OnSignal, self->Token(), &Impl::DropToken);
        self->ownerId = g_dbus_connection_signal_subscribe(
            self->bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
            "/org/freedesktop/DBus", kService, G_DBUS_SIGNAL_FLAGS_NONE, &Impl::OnOwnerChanged,
            self->Token(), &Impl::DropToken);
        // Interactive: the service may have the desktop's agent ask the user.
        const char* hints[] = {"interactive=true", nullptr};
        g_dbus_connection_call(self->bus, kService, path, kTransactionInterface, "SetHints",
                               g_variant_new("(^as)", hints), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                               self->cancellable, nullptr, nullptr);
        const char* files[] = {self->path.c_str(), nullptr};
        // No flags: the package is local and unsigned for the package manager (ours verified it).
        g_dbus_connection_call(self->bus, kService, path, kTransactionInterface, "InstallFiles",
                               g_variant_new("(t^as)", static_cast<guint64>(0), files), nullptr,
                               G_DBUS_CALL_FLAGS_NONE, -1, self->cancellable,
                               &Impl::OnInstallCalled, self->Token());
    }

    static void OnInstallCalled(GObject* source, GAsyncResult* result, gpointer data) {
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply =
            g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        auto self = Take(data);
        if (self && !reply) self->Finish(Outcome::Failed, error->message);
    }

    static std::shared_ptr<Impl> Lock(gpointer data) {
        return static_cast<std::weak_ptr<Impl>*>(data)->lock();
    }

    static void OnOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant* parameters, gpointer data) {
        auto self = Lock(data);
        const char *name = nullptr, *from = nullptr, *to = nullptr;
        g_variant_get(parameters, "(&s&s&s)", &name, &from, &to);
        if (self && to[0] == '\0')
            self->Finish(Outcome::Failed, "the package service ended during the installation");
    }

    static void OnSignal(GDBusConnection*, const char*, const char*, const char* interface,
                         const char* member, GVariant* parameters, gpointer data) {
        auto self = Lock(data);
        if (!self) return;
        const std::string name = member;
        if (g_strcmp0(interface, "org.freedesktop.DBus.Properties") == 0 &&
            name == "PropertiesChanged") {
            self->OnProperties(parameters);
        } else if (g_strcmp0(interface, kTransactionInterface) != 0) {
            return;
        } else if (name == "ErrorCode" &&
                   g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
            const char* details = nullptr;
            guint32 code = 0;
            g_variant_get(parameters, "(u&s)", &code, &details);
            TVC_LOG_ERROR("*[AUTOUPDATER]* %s : the package service reports error %u: %s",
                          "PackageKit", code, details);
            // The first error is the cause; later ones follow from it.
            if (self->errorDetails.empty()) {
                self->errorCode = code;
                self->errorDetails = details;
            }
        } else if (name == "Finished" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
            guint32 exit = 0, runtime = 0;
            g_variant_get(parameters, "(uu)", &exit, &runtime);
            if (exit == kExitSuccess && self->errorDetails.empty())
                self->Finish(Outcome::Installed, {});
            else if (exit == kExitCancelled || self->errorCode == kErrorNotAuthorized ||
                     self->errorCode == kErrorTransactionCancelled)
                self->Finish(Outcome::Refused, self->errorDetails);
            else
                self->Finish(Outcome::Failed, self->errorDetails.empty()
                                                  ? "the installation did not succeed"
                                                  : self->errorDetails);
        }
    }

    void OnProperties(GVariant* parameters) {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) return;
        g_autoptr(GVariant) changed = g_variant_get_child_value(parameters, 1);
        guint32 percent = kPercentUnknown, status = 0;
        const bool hasPercent = g_variant_lookup(changed, "Percentage", "u", &percent);
        const bool hasStatus = g_variant_lookup(changed, "Status", "u", &status);
        if (!hasPercent && !hasStatus) return;
        if (hasPercent) lastPercent = percent > 100 ? -1 : static_cast<int>(percent);
        if (hasStatus) lastStatus = status;
        if (handlers.progress) handlers.progress(lastPercent, PackageKitStatusText(lastStatus));
    }
    int lastPercent = -1;
    unsigned lastStatus = 0;
};

std::shared_ptr<CPackageKitInstall> CPackageKitInstall::Start(const std::string& path,
                                                              Handlers handlers) {
    std::shared_ptr<CPackageKitInstall> install(new CPackageKitInstall());
    install->m_impl = std::make_shared<Impl>();
    install->m_impl->path = path;
    install->m_impl->handlers = std::move(handlers);
    install->m_impl->Begin();
    return install;
}

CPackageKitInstall::~CPackageKitInstall() = default;

std::string PackageKitStatusText(unsigned status) {
    switch (status) {
        case 1:
            // TRANSLATORS: the system's package service at work, under the update's progress bar.
            return N_("Waiting in the queue");
        case 2:
            return N_("Setting up");
        case 3:
        case 4:
        case 5:
            return N_("Working");
        case 8:
            return N_("Downloading");
        case 9:
            return N_("Installing");
        case 10:
            return N_("Updating");
        case 11:
            return N_("Cleaning up");
        case 13:
            return N_("Resolving dependencies");
        case 14:
            return N_("Checking signatures");
        case 15:
            return N_("Testing changes");
        case 16:
            return N_("Committing changes");
        case 18:
            return N_("Finished");
        case 27:
            return N_("Loading the package cache");
        case 30:
            return N_("Waiting for the package manager lock");
        case 31:
            return N_("Waiting for authentication");
        default:
            return N_("Working");
    }
}
}  // namespace tvc::update
