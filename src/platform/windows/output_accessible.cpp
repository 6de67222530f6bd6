// The output editor as screen readers see it through Active Accessibility: a read-only text with
// its name, whose value is the text in sight. What the system's own object of a window knows
// (place, parent, focus, navigation) is taken from it. The accessibility libraries are loaded when
// a screen reader first asks, so that the program still starts without them.
#include "platform/windows/desktop.h"

#include <oleacc.h>

namespace {

using CreateStdAccessibleObjectFunction = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using SysAllocStringLenFunction = BSTR(WINAPI*)(const OLECHAR*, UINT);

struct Accessibility {
    CreateStdAccessibleObjectFunction createStandardObject = nullptr;
    LresultFromObjectFunction resultFromObject = nullptr;
    SysAllocStringLenFunction allocateString = nullptr;
};

template <typename Function>
Function Entry(HMODULE library, const char* name)
{
    return library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
}

// Loaded once, kept for the life of the process; empty where the system has no such libraries.
const Accessibility& Libraries()
{
    static const Accessibility libraries = [] {
        Accessibility found;
        HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
        HMODULE oleaut = LoadLibraryW(L"oleaut32.dll");
        found.createStandardObject = Entry<CreateStdAccessibleObjectFunction>(oleacc, "CreateStdAccessibleObject");
        found.resultFromObject = Entry<LresultFromObjectFunction>(oleacc, "LresultFromObject");
        found.allocateString = Entry<SysAllocStringLenFunction>(oleaut, "SysAllocStringLen");
        return found;
    }();
    return libraries;
}

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

class OutputAccessible final : public IAccessible {
public:
    OutputAccessible(HWND window, IAccessible* standard, std::wstring name)
        : window_(window), standard_(standard), name_(std::move(name))
    {
    }
    OutputAccessible(const OutputAccessible&) = delete;
    OutputAccessible& operator=(const OutputAccessible&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: screen readers call the methods directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible: what is the output's own.
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override
    {
        if (child)
            *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override { return Text(child, name_, name); }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!IsWindow(window_))
            return E_FAIL;
        return Text(child, OutputShownText(window_), value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!role)
            return E_POINTER;
        if (!IsSelf(child))
            return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = ROLE_SYSTEM_TEXT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!state)
            return E_POINTER;
        if (!IsSelf(child))
            return E_INVALIDARG;
        const HRESULT result = standard_->get_accState(child, state);
        if (FAILED(result) || state->vt != VT_I4) {
            state->vt = VT_I4;
            state->lVal = STATE_SYSTEM_FOCUSABLE | (OutputHasFocus(window_) ? STATE_SYSTEM_FOCUSED : 0);
        }
        state->lVal |= STATE_SYSTEM_READONLY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

    // IAccessible: what the system's object of the window knows.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override
    {
        return standard_->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override
    {
        return standard_->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override
    {
        return standard_->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override
    {
        return standard_->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return standard_->accDoDefaultAction(child);
    }

private:
    ~OutputAccessible() { standard_->Release(); }

    static HRESULT Text(VARIANT child, const std::wstring& text, BSTR* out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsSelf(child))
            return E_INVALIDARG;
        *out = Libraries().allocateString(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG references_ = 1;
    HWND window_;
    IAccessible* standard_;
    std::wstring name_;
};

}  // namespace

LRESULT OutputAccessibleObject(HWND editor, WPARAM wParam, const std::wstring& name)
{
    const Accessibility& libraries = Libraries();
    if (!libraries.createStandardObject || !libraries.resultFromObject || !libraries.allocateString)
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(libraries.createStandardObject(editor, OBJID_CLIENT, __uuidof(IAccessible),
                                              reinterpret_cast<void**>(&standard)))
        || !standard)
        return 0;
    auto* object = new OutputAccessible(editor, standard, name);
    // The result holds its own reference, which the asker takes over.
    const LRESULT result = libraries.resultFromObject(__uuidof(IAccessible), wParam, object);
    object->Release();
    return result > 0 ? result : 0;
}
