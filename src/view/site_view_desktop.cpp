// What the site view adds on a desktop: keys for channels and PTZ, the
// picture's menu (save, copy, keep a clip) with a short note, and
// reconnecting by itself after a lost link.
#include <fcntl.h>
#include <unistd.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>

#include "controls/grp_btn.h"
#include "platform/core/debug_out.h"
#include "platform/ui/window_api.h"
#include "protocol/text.h"
#include "view/site_view.h"

namespace lv {
namespace {

// PTZ buttons held by keys: arrows steer, + and - zoom.
int PtzButtonForKey(WPARAM vk) {
  switch (vk) {
    case VK_UP: return 1;
    case VK_LEFT: return 4;
    case VK_RIGHT: return 6;
    case VK_DOWN: return 9;
    case '+':
    case '=': return 14;
    case '-': return 15;
    default: return -1;
  }
}

// Keys 1 to 9 and 0 choose channels 1 to 10.
int ChannelForKey(WPARAM vk) {
  if (vk >= '1' && vk <= '9') return static_cast<int>(vk - '1');
  return vk == '0' ? 9 : -1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string SavedPicturesDir() {
  std::string base;
  if (const char* env = std::getenv("XDG_PICTURES_DIR"); env && *env) base = env;
  else base = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
  if (base.empty()) base = QDir::homePath().toStdString();
  return base + "/Lorventa";
}

std::string SavedPictureName(const std::u16string& site, int channel, std::uint32_t date, std::uint32_t time) {
  std::string name = Utf16ToUtf8(site);
  for (char& c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == ':' || c == '*' || c == '?') c = '_';
  if (name.empty() || name == "." || name == "..") name = "site";
  if (FormatPictureTime(date, time).empty()) {
    // A picture without a valid date of its own is named by the moment it is saved.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    date = static_cast<std::uint32_t>((local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday);
    time = static_cast<std::uint32_t>(local.tm_hour * 10000 + local.tm_min * 100 + local.tm_sec);
  }
  char tail[48];
  std::snprintf(tail, sizeof tail, "_CH%02d_%08u-%06u", channel + 1, date, time);
  return name + tail + ".jpg";
}

bool CDlg_SiteView::OnViewKey(const MSG& msg) {
  CDvrSession* dvr = m_pCurr_DVR.load();
  const WPARAM vk = msg.wParam;
  const bool down = msg.message == WM_KEYDOWN;
  const bool repeat = down && (static_cast<std::uintptr_t>(msg.lParam) & (std::uintptr_t{1} << 30)) != 0;
  if (down && GetKeyState(VK_CONTROL) < 0) {
    if (vk == 'S') SavePicture();
    else if (vk == 'C') CopyPicture();
    else if (vk == 'R' && !repeat) SaveClip();
    else return false;
    return true;
  }
  if (!dvr) return false;
  if (m_bPTZMode.load()) {
    if (down && vk == VK_ESCAPE) {
      StopPtzMove("Escape left PTZ mode");
      ShowBtnCH(true);
      m_bPTZMode.store(0);
      return true;
    }
    const int button = PtzButtonForKey(vk);
    if (button < 0) return false;
    const UINT id = IDC_PTZ_BTN_FIRST + static_cast<UINT>(button);
    if (down && m_nKeyReleasePTZ == button) {
      // Pressed again within the grace: the same long press goes on.
      KillTimer(kTimerKeyRelease);
      m_nKeyReleasePTZ = -1;
    } else if (down && !repeat && m_nPressedPTZ.load() < 0) {
      OnPtzCommand(id, GBN_PRESSED);
    } else if (!down && m_nPressedPTZ.load() == button) {
      m_nKeyReleasePTZ = button;
      SetTimer(kTimerKeyRelease, kKeyReleaseGraceMs);
    }
    return true;
  }
  // P does what a tap on the picture does: PTZ mode on a PTZ camera.
  if (down && !repeat && vk == 'P') {
    if (!PtzAllowed() || !m_bPTZ_CH.load()) return false;
    m_bPTZMode.store(1);
    m_nPressedPTZ.store(-1);
    ShowBtnCH(false);
    return true;
  }
  const int channel = ChannelForKey(vk);
  if (!down || repeat || channel < 0 || channel >= m_nComposedCH) return false;
  if (channel != dvr->m_nCurrentCH.load()) SwitchToChannel(channel);
  return true;
}

void CDlg_SiteView::OnKeyReleaseTimer() {
  KillTimer(kTimerKeyRelease);
  const int button = std::exchange(m_nKeyReleasePTZ, -1);
  if (button >= 0 && m_nPressedPTZ.load() == button)
    OnPtzCommand(IDC_PTZ_BTN_FIRST + static_cast<UINT>(button), GBN_CLICKED);
}

void CDlg_SiteView::ShowPictureMenu(const QPoint& at) {
  QWidget* widget = GetWidget();
  if (!widget) return;
  auto* menu = new QMenu(widget);  // owned by the view's widget, deleted when closed
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const bool picture = m_Presenter.HasPicture();
  QAction* save = menu->addAction(QStringLiteral("Save picture"), [this] { SavePicture(); });
  save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  QAction* copy = menu->addAction(QStringLiteral("Copy picture"), [this] { CopyPicture(); });
  copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  save->setEnabled(picture);
  copy->setEnabled(picture);
  QAction* clip = menu->addAction(QStringLiteral("Save clip"), [this] { SaveClip(); });
  clip->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  clip->setEnabled(ClipsOn());
  menu->popup(widget->mapToGlobal(at));
}

std::string CDlg_SiteView::SavePicture() {
  const FramePresenter::Shown shown = m_Presenter.Peek();
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (!shown.source || !shown.source->data || shown.source->size == 0 || !dvr) {
    ShowNote(u"No picture to save");
    return {};
  }
  const FrameRecord& frame = *shown.source;
  const std::string dir = SavedPicturesDir();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string name = SavedPictureName(dvr->m_strSiteName, frame.channel, frame.date, frame.time);
  const std::string stem = name.substr(0, name.size() - 4);
  // Never over an existing file: the next free "_2", "_3", ... instead.
  for (int n = 1; n < 1000; ++n) {
    const std::string path = dir + "/" + (n == 1 ? name : stem + "_" + std::to_string(n) + ".jpg");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    const bool ok = WriteAll(fd, frame.data, frame.size);
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed) {
      ::unlink(path.c_str());
      break;
    }
    DebugOut("# VIEW picture saved to %s\r\n", path.c_str());
    ShowNote(u"Saved " + Utf8ToUtf16(path.substr(dir.size() + 1)));
    return path;
  }
  DebugOut("# VIEW picture not saved in %s: %s\r\n", dir.c_str(), std::strerror(errno));
  ShowNote(u"Could not save the picture");
  return {};
}

bool CDlg_SiteView::CopyPicture() {
  const FramePresenter::Shown shown = m_Presenter.Peek();
  if (!shown.source || !shown.source->data || shown.source->size == 0) {
    ShowNote(u"No picture to copy");
    return false;
  }
  auto data = std::make_unique<QMimeData>();
  const QByteArray bytes(reinterpret_cast<const char*>(shown.source->data), static_cast<qsizetype>(shown.source->size));
  data->setData(QStringLiteral("image/jpeg"), bytes);
  QImage image;
  if (image.loadFromData(bytes)) data->setImageData(image);
  QGuiApplication::clipboard()->setMimeData(data.release());
  ShowNote(u"Picture copied");
  return true;
}

void CDlg_SiteView::ShowNote(std::u16string note) {
  m_strNote = std::move(note);
  if (!GetSafeHwnd()) return;
  SetTimer(kTimerNote, kNoteMs);
  InvalidateVideo();
}

void CDlg_SiteView::ScheduleReconnect() {
  CDvrSession* dvr = m_pCurr_DVR.load();
  if (!m_bAutoReconnect || !dvr || !GetSafeHwnd()) return;
  const auto now = std::chrono::steady_clock::now();
  if (m_bReceivedThisLink && now - m_tReceivingSince >= std::chrono::milliseconds(kReconnectStableMs))
    m_nReconnectFailures = 0;
  m_bReceivedThisLink = false;
  const long long base =
      std::min<long long>(static_cast<long long>(kReconnectFirstMs) << std::min(m_nReconnectFailures, 5),
                          kReconnectMaxMs);
  static std::minstd_rand random(std::random_device{}());
  std::uniform_real_distribution<double> jitter(0.8, 1.2);
  const int delay = static_cast<int>(std::min<double>(static_cast<double>(base) * jitter(random), kReconnectMaxMs));
  ++m_nReconnectFailures;
  m_bReconnectPending = true;
  m_tReconnectAt = now + std::chrono::milliseconds(delay);
  DebugOut("\r\n## [NOTI] Reconnect in [%d] ms (attempt [%d])\r\n", delay, m_nReconnectFailures);
  SetTimer(kTimerReconnect, static_cast<UINT>(delay));
  InvalidateVideo();
}

void CDlg_SiteView::OnReconnectTimer() {
  KillTimer(kTimerReconnect);
  if (!m_bReconnectPending) return;
  m_bReconnectPending = false;
  if (!m_pCurr_DVR.load() || m_nStatus.load() != ST_DISCONNECTED) return;
  DebugOut("\r\n## [NOTI] Reconnecting\r\n");
  StartSessionView();
  InvalidateVideo();
}

std::u16string CDlg_SiteView::ReconnectCaption() const {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_tReconnectAt -
                                                                          std::chrono::steady_clock::now());
  const long long seconds = std::max<long long>(1, (left.count() + 999) / 1000);
  return u"Reconnecting in " + Utf8ToUtf16(std::to_string(seconds)) + u" s";
}

QImage CDlg_SiteView::WithCaption(QImage picture, const std::u16string& caption, bool dim) const {
  if (picture.isNull()) return picture;
  if (picture.format() != QImage::Format_RGB32) picture = picture.convertToFormat(QImage::Format_RGB32);
  QPainter painter(&picture);
  QFont font;
  font.setBold(true);
  if (dim) {
    painter.fillRect(picture.rect(), QColor(0, 0, 0, 150));
    font.setPixelSize(30);
    painter.setFont(font);
    const QString text = QString::fromStdU16String(caption);
    painter.setPen(QColor(0, 0, 0));
    painter.drawText(picture.rect().translated(2, 2), Qt::AlignCenter, text);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(picture.rect(), Qt::AlignCenter, text);
  }
  if (!m_strNote.empty()) {
    // The note sits in a dark strip along the bottom of the picture.
    font.setPixelSize(20);
    painter.setFont(font);
    const QRect strip(0, picture.height() - 40, picture.width(), 40);
    painter.fillRect(strip, QColor(0, 0, 0, 190));
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(strip.adjusted(8, 0, -8, 0), Qt::AlignCenter,
                     QFontMetrics(font).elidedText(QString::fromStdU16String(m_strNote), Qt::ElideMiddle,
                                                   strip.width() - 16));
  }
  return picture;
}

}  // namespace lv
