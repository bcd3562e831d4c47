#include "graph/core_graph_py.hpp"

namespace fennel::py {

namespace {

PyTypeObject* g_type = nullptr;

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    delete reinterpret_cast<PyCoreGraph*>(self)->graph;
    type->tp_free(self);
    Py_DECREF(type);
}

// The instance holds no Python references; only its heap type is visited.
int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}

int clear(PyObject*) { return 0; }

Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(graph_of(self).n); }

PyObject* get_directed(PyObject* self, void*) { return PyBool_FromLong(graph_of(self).directed); }

PyGetSetDef getset[] = {
    {"directed", get_directed, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyObject* create_core_graph_type(PyObject* module, PyMethodDef* methods) {
    PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(clear)},
        {Py_mp_length, reinterpret_cast<void*>(length)},
        {Py_sq_length, reinterpret_cast<void*>(length)},
        {Py_tp_methods, methods},
        {Py_tp_getset, getset},
        {0, nullptr},
    };
    PyType_Spec spec = {
        "fennel._core.CoreGraph",
        sizeof(PyCoreGraph),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
            Py_TPFLAGS_IMMUTABLETYPE,
        slots,
    };
    PyObject* type = PyType_FromModuleAndSpec(module, &spec, nullptr);
    if (type != nullptr && g_type == nullptr) {
        g_type = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));
    }
    return type;
}

PyObject* wrap_graph(std::unique_ptr<CoreGraph> graph) {
    PyCoreGraph* self = PyObject_GC_New(PyCoreGraph, g_type);
    if (self == nullptr) return nullptr;
    self->graph = graph.release();
    PyObject_GC_Track(reinterpret_cast<PyObject*>(self));
    return reinterpret_cast<PyObject*>(self);
}

}  // namespace fennel::py
