# The i686 Windows build: the quillmend.exe that ships. The product is a 32-bit program (32-bit
# COM servers and ODBC data sources, system files in the folder a 32-bit process sees), so the
# agent is one too. Its programs are built but not run here: these machines cannot start 32-bit
# programs, hence no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QM_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
