# Precompiled headers for the targets that include Qt's widget and core headers in most of their files:
# parsing those headers is most of a compile here, and each of these targets parses them once instead
# of once a file. Targets with one or two files are left out: their header would cost more than it
# saves. Each target precompiles its own header with its own flags, so the sanitizer, fuzz and clang
# builds stay consistent without sharing one across targets of different definitions.
option(RMZ_PCH "Precompile the Qt and standard headers of the larger targets" ON)

set(rmz_pch_std <algorithm> <array> <chrono> <cstdint> <cstring> <functional> <memory> <optional> <string>
                <vector>)
set(rmz_pch_core ${rmz_pch_std} <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QFile> <QFileInfo>
                 <QJsonArray> <QJsonDocument> <QJsonObject> <QLocale> <QObject> <QString> <QStringList>
                 <QTimer>)
set(rmz_pch_widgets ${rmz_pch_core} <QApplication> <QCheckBox> <QComboBox> <QDialog> <QGroupBox> <QLabel>
                    <QLineEdit> <QMessageBox> <QPushButton> <QRadioButton> <QVBoxLayout> <QWidget>)
set(rmz_pch_tests ${rmz_pch_widgets} <gtest/gtest.h> <QProcess> <QTemporaryDir> <QTest>)

# rmz_precompile(core|widgets|tests target...)
function(rmz_precompile set)
    if(NOT RMZ_PCH)
        return()
    endif()
    foreach(target ${ARGN})
        if(TARGET ${target})
            target_precompile_headers(${target} PRIVATE ${rmz_pch_${set}})
        endif()
    endforeach()
endfunction()

# The widget-free libraries (cmake/WidgetFree.cmake) take the core set: the widget headers are not
# theirs to include.
rmz_precompile(core rmz_link rmz_view rmz_config rmz_imit rmz_check rmz_monitor rmz_commands)
rmz_precompile(widgets rmz_ui rmz_config_ui rmz_imit_ui rmz_app rmz47-screenshots)
rmz_precompile(tests rmz_test_support app_tests config_tests e2e_tests imit_tests link_tests sim_tests
               check_tests cli_command_tests)
