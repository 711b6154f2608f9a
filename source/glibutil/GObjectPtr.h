// RAII owners for GLib/GObject references, for the adapters.
#pragma once

#include <glib-object.h>

#include <memory>
#include <utility>

namespace tvc::glib {

// Owns one strong reference to a GObject (or any type g_object_unref accepts).
template <typename T>
class GObjectPtr {
  public:
    GObjectPtr() = default;
    // Takes over a reference the caller owns (a "transfer full" return value).
    static GObjectPtr Adopt(T* p) { return GObjectPtr(p); }
    // Adds a reference of its own (a "transfer none" value).
    static GObjectPtr Ref(T* p) {
        return GObjectPtr(p ? static_cast<T*>(g_object_ref(p)) : nullptr);
    }
    ~GObjectPtr() { reset(); }
    GObjectPtr(const GObjectPtr& o) : m_p(o.m_p ? static_cast<T*>(g_object_ref(o.m_p)) : nullptr) {}
    GObjectPtr(GObjectPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    GObjectPtr& operator=(GObjectPtr o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    void reset() {
        if (m_p) g_object_unref(std::exchange(m_p, nullptr));
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

  private:
    explicit GObjectPtr(T* p) : m_p(p) {}
    T* m_p = nullptr;
};

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GVariantDeleter {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using GVariantPtr = std::unique_ptr<GVariant, GVariantDeleter>;

struct GBytesDeleter {
    void operator()(GBytes* b) const { g_bytes_unref(b); }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesDeleter>;

struct GErrorDeleter {
    void operator()(GError* e) const { g_error_free(e); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

// Out-parameter adaptor: `GErrorOut err; f(..., err.out()); if (err) ...`.
class GErrorOut {
  public:
    GError** out() { return &m_e; }
    ~GErrorOut() {
        if (m_e) g_error_free(m_e);
    }
    explicit operator bool() const { return m_e != nullptr; }
    const char* message() const { return m_e ? m_e->message : ""; }

  private:
    GError* m_e = nullptr;
};

// A signal connection that disconnects itself.
class ScopedSignal {
  public:
    ScopedSignal() = default;
    ScopedSignal(gpointer instance, gulong id) : m_instance(instance), m_id(id) {}
    ~ScopedSignal() { reset(); }
    ScopedSignal(ScopedSignal&& o) noexcept
        : m_instance(std::exchange(o.m_instance, nullptr)), m_id(std::exchange(o.m_id, 0)) {}
    ScopedSignal& operator=(ScopedSignal&& o) noexcept {
        reset();
        m_instance = std::exchange(o.m_instance, nullptr);
        m_id = std::exchange(o.m_id, 0);
        return *this;
    }
    void reset() {
        if (m_instance && m_id && g_signal_handler_is_connected(m_instance, m_id))
            g_signal_handler_disconnect(m_instance, m_id);
        m_instance = nullptr;
        m_id = 0;
    }

  private:
    gpointer m_instance = nullptr;
    gulong m_id = 0;
};
}  // namespace tvc::glib
