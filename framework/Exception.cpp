#include "framework/Exception.h"

std::string ExceptionMessage(const std::exception_ptr& E) {
    if (!E)
        return {};
    try {
        std::rethrow_exception(E);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}
