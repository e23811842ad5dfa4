#include "platform/system_error.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/text_format.h"

namespace platform {

std::error_code LastSystemError() {
#ifdef _WIN32
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
  return std::error_code(errno, std::generic_category());
#endif
}

namespace {

// errno values, which the generic category carries on every system.
const char* ErrnoReason(int code) {
  switch (code) {
    case ENOSPC:
      return "нет места на диске";
#ifdef EDQUOT
    case EDQUOT:
      return "превышена дисковая квота";
#endif
    case EROFS:
      return "только для чтения";
    case EACCES:
    case EPERM:
      return "нет доступа";
    case ENOENT:
      return "файл или папка не найдены";
    case ENOTDIR:
      return "часть пути не папка";
    case EISDIR:
      return "на месте файла папка";
    case EEXIST:
      return "уже существует";
    case ENAMETOOLONG:
      return "слишком длинное имя";
    case EIO:
      return "ошибка ввода-вывода";
    case ENOMEM:
      return "недостаточно памяти";
    case EMFILE:
    case ENFILE:
      return "открыто слишком много файлов";
    case EFBIG:
      return "файл слишком велик";
    case EBUSY:
    case ETXTBSY:
      return "файл занят";
    case EXDEV:
      return "другой диск";
    case ECANCELED:
      return "прервано";
    case EINVAL:
      return "недопустимое имя";
    case ELOOP:
      return "слишком много ссылок в пути";
    default:
      return nullptr;
  }
}

#ifdef _WIN32
// Missing from some of the system's headers.
constexpr DWORD kErrorDiskQuotaExceeded = 1295;

const char* WindowsReason(DWORD code) {
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "нет места на диске";
    case kErrorDiskQuotaExceeded:
      return "превышена дисковая квота";
    case ERROR_WRITE_PROTECT:
      return "только для чтения";
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return "нет доступа";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
      return "файл или папка не найдены";
    case ERROR_DIRECTORY:
      return "часть пути не папка";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return "уже существует";
    case ERROR_FILENAME_EXCED_RANGE:
      return "слишком длинное имя";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return "недопустимое имя";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "недостаточно памяти";
    case ERROR_TOO_MANY_OPEN_FILES:
      return "открыто слишком много файлов";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "файл занят другой программой";
    case ERROR_NOT_SAME_DEVICE:
      return "другой диск";
    case ERROR_NOT_READY:
      return "устройство не готово";
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
      return "ошибка ввода-вывода";
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
      return "сетевая папка недоступна";
    case ERROR_CANCELLED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_REQUEST_ABORTED:
      return "прервано";
    default:
      return nullptr;
  }
}
#endif

}  // namespace

std::string ErrorReason(const std::error_code& error) {
  if (!error) return {};
  const char* reason = nullptr;
  if (error.category() == std::generic_category()) {
    reason = ErrnoReason(error.value());
  } else if (error.category() == std::system_category()) {
#ifdef _WIN32
    reason = WindowsReason(static_cast<DWORD>(error.value()));
#else
    reason = ErrnoReason(error.value());
#endif
  }
  if (reason) return reason;
  return common::Format("ошибка %d (%s)", error.value(), error.message().c_str());
}

}  // namespace platform
