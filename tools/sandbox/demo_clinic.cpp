#include "demo_clinic.h"

namespace quillmend::sandbox {
namespace {

std::string ReleaseNotes(const std::string& version) {
  return "[" + version + "]\r\n"
         "내용=월간 청구 화면의 합계 오류를 고쳤습니다.\r\n"
         "내용2=차트 인쇄 속도를 개선했습니다.\r\n";
}

}  // namespace

void CreateDemoClinic(const SandboxLayout& layout, const std::string& sleeper,
                      const std::string& register_tool) {
  ClinicOptions options;
  options.installed_version = kDemoInstalled;
  options.main_screen_program = sleeper;
  options.register_command = register_tool;
  CreateClinic(layout, options);

  const std::string main_screen = ReadBytes(sleeper);
  PublishVersion(layout, kDemoVersions[0],
                 {{"program", "Velmont.exe", main_screen},
                  {"program/Reports", "monthly.rpt", "monthly report layout 7.5.13\n"},
                  {"system", "orvelgrid.ocx", ProgramLikeBytes(200 * 1024, 7513)}});
  PublishVersion(layout, kDemoVersions[1],
                 {{"program", "Velmont.exe", main_screen},
                  {"program", "updateInfo7.6.0.ini", ReleaseNotes("7.6.0")},
                  {"system", "orvelchart.dll", ProgramLikeBytes(300 * 1024, 760)}});
}

}  // namespace quillmend::sandbox
