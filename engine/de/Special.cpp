#include "Special.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_sf_psi.h>

#include <memory>
#include <mutex>

// libcerf's real and imaginary parts of w(z); its header uses C99 complex
// types, which C++ does not have.
extern "C" double re_w_of_z(double x, double y);
extern "C" double im_w_of_z(double x, double y);

namespace nosk::engine::de {

namespace {

// GSL's default error handler aborts the program; the engine checks the
// status codes instead.
void quietGsl()
{
    static std::once_flag once;
    std::call_once(once, [] { gsl_set_error_handler_off(); });
}

struct WorkspaceDeleter {
    void operator()(gsl_integration_workspace* w) const { gsl_integration_workspace_free(w); }
};

constexpr std::size_t kWorkspaceSize = 200;

} // namespace

Complex faddeeva(Complex z)
{
    return {re_w_of_z(z.real(), z.imag()), im_w_of_z(z.real(), z.imag())};
}

double integrate(double (*f)(double, void*), void* data, double a, double b, double epsrel)
{
    quietGsl();
    thread_local std::unique_ptr<gsl_integration_workspace, WorkspaceDeleter> workspace(
        gsl_integration_workspace_alloc(kWorkspaceSize));
    gsl_function fn;
    fn.function = f;
    fn.params = data;
    double result = 0, error = 0;
    gsl_integration_qag(&fn, a, b, 0.0, epsrel, kWorkspaceSize, GSL_INTEG_GAUSS21, workspace.get(), &result, &error);
    return result;
}

double digamma(double x)
{
    quietGsl();
    return gsl_sf_psi(x);
}

} // namespace nosk::engine::de
