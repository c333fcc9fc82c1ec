#pragma once

// A small component layer in the shape of COM: status codes, interface ids, reference-counted
// interfaces, task memory, and object creation by class id through a registry of factories.
// The speech objects of the recogniser live behind it; nothing here knows about any engine.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace phonemes {

// Status of an operation: zero and positive values are success codes, negative ones failures.
using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

constexpr HRESULT makeStatus(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = makeStatus(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = makeStatus(0x80004002);
inline constexpr HRESULT E_POINTER = makeStatus(0x80004003);
inline constexpr HRESULT E_FAIL = makeStatus(0x80004005);
inline constexpr HRESULT E_OUTOFMEMORY = makeStatus(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = makeStatus(0x80070057);
inline constexpr HRESULT E_NOT_SUFFICIENT_BUFFER = makeStatus(0x8007007A);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = makeStatus(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = makeStatus(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = makeStatus(0x800401F0);

constexpr bool SUCCEEDED(HRESULT status) {
    return status >= 0;
}
constexpr bool FAILED(HRESULT status) {
    return status < 0;
}

struct GUID {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

// Class contexts: where an object may run. The layer creates every object in process and
// passes the context on to the factory.
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;
inline constexpr std::uint32_t CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr std::uint32_t CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr std::uint32_t CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr std::uint32_t CLSCTX_ALL =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

inline constexpr IID IID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The root of every interface. An object lives while it holds references; whoever receives
// a reference (a creation, an out parameter, QueryInterface) releases it exactly once.
// Reference counts must be safe to change from any thread: engines work on threads of their own.
struct IUnknown {
    static constexpr const IID& kIid = IID_IUnknown;

    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    // Objects end through Release, never through delete on an interface.
    virtual ~IUnknown() = default;
};

// Finds the interface with the given id along the base chain of Interface (every interface
// names its base as Base), converted to exactly that interface's type.
template <class Interface>
void* findInterface(Interface* object, REFIID iid) {
    if (iid == Interface::kIid) {
        return static_cast<void*>(object);
    }
    if constexpr (std::is_same_v<Interface, IUnknown>) {
        return nullptr;
    } else {
        return findInterface<typename Interface::Base>(object, iid);
    }
}

// QueryInterface for an object implementing the given interfaces: hands out a new reference
// to the first one whose chain holds the id.
template <class... Interfaces, class Object>
HRESULT queryInterfaces(Object* object, REFIID iid, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    void* found = nullptr;
    ((found = found != nullptr ? found : findInterface<Interfaces>(object, iid)), ...);
    *result = found;
    if (found == nullptr) {
        return E_NOINTERFACE;
    }
    object->AddRef();
    return S_OK;
}

// Base of an object implementation: a thread-safe reference count that starts at one and
// deletes the object when the last reference goes.
template <class... Interfaces>
class ComObject : public Interfaces... {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        return queryInterfaces<Interfaces...>(this, iid, object);
    }
    ULONG AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    ComObject() = default;
    ~ComObject() override = default;

  private:
    std::atomic<ULONG> references_{1};
};

// The checks a class factory makes before it creates anything: a place for the result, which is
// emptied, and no outer object, since none of our objects can be aggregated. S_OK when creation
// may go on.
inline HRESULT checkFactoryArguments(IUnknown* outer, void** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    return outer == nullptr ? S_OK : CLASS_E_NOAGGREGATION;
}

// Creates an object with one reference and hands out the interface asked for: the usual body
// of a class factory.
template <class Object, class... Arguments>
HRESULT createComObject(REFIID iid, void** result, Arguments&&... arguments) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    Object* created = new (std::nothrow) Object(std::forward<Arguments>(arguments)...);
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT status = created->QueryInterface(iid, result);
    created->Release();
    return status;
}

// Holds one reference, or none. Emptying it empties the field before releasing, so that
// nothing reachable through the holder points at an object being released.
template <class Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference that the caller received.
    static ComPtr adopt(Interface* object) {
        ComPtr holder;
        holder.object_ = object;
        return holder;
    }
    void attach(Interface* object) {
        reset();
        object_ = object;
    }

    // Empties the holder for use as an out parameter.
    Interface** put() {
        reset();
        return &object_;
    }
    void reset() {
        if (Interface* held = std::exchange(object_, nullptr)) {
            held->Release();
        }
    }

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

  private:
    Interface* object_ = nullptr;
};

// Component system of the calling thread. Objects can be created between the first
// CoInitialize of a thread and its matching CoUninitialize; calls nest.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Memory handed between the layer's users: whoever receives a block frees it.
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);
// Blocks allocated and not yet freed, over the whole process.
std::size_t taskMemBlocksInUse();

// A copy of a plain record in task memory; null when memory runs out.
template <class Record>
Record* coTaskMemCopy(const Record& record) {
    static_assert(std::is_trivially_copyable_v<Record>);
    void* block = CoTaskMemAlloc(sizeof(Record));
    return block == nullptr ? nullptr : new (block) Record(record);
}

struct CoTaskMemDeleter {
    void operator()(void* block) const { CoTaskMemFree(block); }
};
template <class Block>
using CoTaskMemPtr = std::unique_ptr<Block, CoTaskMemDeleter>;

// Creates a new object of a registered class and hands out the interface asked for with one
// reference. Fails with CO_E_NOTINITIALIZED on a thread without CoInitialize and with
// REGDB_E_CLASSNOTREG for a class that nobody registered (see speech_registry.h).
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, std::uint32_t classContext, REFIID iid,
                         void** object);

}  // namespace phonemes
