#!/usr/bin/env python3
"""Writes the language files of this folder from the texts below.

The texts here are the source; the .lng files are written from them and kept
in the repository as they are shipped. Run this script after changing a text.

The files use every encoding the reader understands, on purpose, so that the
shipped files themselves exercise each path: Windows-1252 without a mark,
UTF-8 with a mark, UTF-16 little- and big-endian with a mark; and every kind
of line end.
"""

import pathlib

FOLDER = pathlib.Path(__file__).resolve().parent

# The window's keys in the order the translation walk asks for them.
WINDOW_KEYS = [
    "frmMain.Caption",
    "lbl_Title.Caption",
    "lbl_Detail.Caption",
    "btnBack.Caption",
    "btnNext.Caption",
    "btnClose.Caption",
    "lbl_Job.Caption",
    "lbl_PreJob.Caption",
    "rgAction.Caption",
    "rbCreate.Caption",
    "rbDelete.Caption",
    "lbl_AddSchJob.Caption",
    "lbl_AddJob.Caption",
    "rgAddAction.Caption",
    "rbShutdown.Caption",
    "rbRestart.Caption",
    *[f"cbOption.Items[{j}].Caption" for j in range(4)],
    *[f"cbOption2.Items[{j}].Caption" for j in range(8)],
    "rbAfter.Caption",
    "rbOrat1.Caption",
    "rbOrat2.Caption",
    "lvView.Columns[0].Caption",
]

RUNTIME_KEYS = [
    "next",
    "Finished",
    "Delete",
    "Shutdown_at",
    "Restart_at",
    "Scheduled_Exists",
    "time_less_than",
    "Added_Succ",
    "Deleted_Succ",
    "Add_Failed",
    "Delete_Failed",
]

# French puts a no-break space before ":" and "!".
NBSP = "\u00a0"

# Each language: file name, encoding, line end, display name, then the window
# texts in WINDOW_KEYS order and the run-time texts in RUNTIME_KEYS order.
# "N/A" stays untranslated: the window sets that placeholder itself later.
LANGUAGES = [
    ("English", "cp1252", "\r\n", "English", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Shuts down your computer automatically at a scheduled time.",
        "< Back", "Next >", "Close",
        "N/A", "Scheduled task:", "Action",
        "Add a new Lumidor scheduled task", "Delete a scheduled task",
        "Schedule Time:", "N/A", "Schedule",
        "Shut down Computer", "Restart Computer",
        "1 minute", "10 minutes", "20 minutes", "30 minutes",
        "Every day", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
        "After:", "Or at", "Or at",
        "Scheduled task",
    ], [
        "Next >", "Finished", "Delete",
        "Shutdown computer at:", "Restart computer at:",
        "Scheduled task already exists!", "Please set up a valid schedule time!",
        "Added successfully!", "Deleted successfully!",
        "The scheduled task could not be created!", "The scheduled task could not be deleted!",
    ]),
    ("German", "cp1252", "\n", "Deutsch", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Fährt Ihren Computer zur geplanten Zeit automatisch herunter.",
        "< Zurück", "Weiter >", "Schließen",
        "N/A", "Geplant:", "Aktion",
        "Neue Lumidor-Aufgabe planen", "Geplante Aufgabe löschen",
        "Geplante Zeit:", "N/A", "Zeitplan",
        "Herunterfahren", "Neu starten",
        "1 Minute", "10 Minuten", "20 Minuten", "30 Minuten",
        "Täglich", "Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag",
        "Nach:", "Oder:", "Oder:",
        "Geplante Aufgabe",
    ], [
        "Weiter >", "Fertig stellen", "Löschen",
        "Herunterfahren:", "Neustart:",
        "Diese Aufgabe ist bereits geplant!", "Bitte geben Sie eine gültige Zeit an!",
        "Erfolgreich hinzugefügt!", "Erfolgreich gelöscht!",
        "Die geplante Aufgabe konnte nicht erstellt werden!",
        "Die geplante Aufgabe konnte nicht gelöscht werden!",
    ]),
    ("French", "cp1252", "\r\n", "Français", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Arrête automatiquement votre ordinateur à l'heure programmée.",
        "< Précédent", "Suivant >", "Fermer",
        "N/A", f"Planifiée{NBSP}:", "Action",
        "Ajouter une tâche Lumidor", "Supprimer une tâche",
        f"Heure prévue{NBSP}:", "N/A", "Planification",
        "Arrêter", "Redémarrer",
        "1 minute", "10 minutes", "20 minutes", "30 minutes",
        "Tous les jours", "Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi",
        f"Dans{NBSP}:", "Ou à", "Ou à",
        "Tâche planifiée",
    ], [
        "Suivant >", "Terminer", "Supprimer",
        f"Arrêt{NBSP}:", f"Redémarrage{NBSP}:",
        f"Cette tâche planifiée existe déjà{NBSP}!", f"Veuillez choisir une heure valide{NBSP}!",
        f"Tâche ajoutée{NBSP}!", f"Tâche supprimée{NBSP}!",
        f"Impossible de créer la tâche planifiée{NBSP}!",
        f"Impossible de supprimer la tâche planifiée{NBSP}!",
    ]),
    ("Spanish", "cp1252", "\r", "Español", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Apaga el equipo automáticamente a la hora programada.",
        "< Atrás", "Siguiente >", "Cerrar",
        "N/A", "Programada:", "Acción",
        "Añadir una tarea de Lumidor", "Eliminar una tarea",
        "Hora prevista:", "N/A", "Programación",
        "Apagar el equipo", "Reiniciar el equipo",
        "1 minuto", "10 minutos", "20 minutos", "30 minutos",
        "Todos los días", "Domingo", "Lunes", "Martes", "Miércoles", "Jueves", "Viernes", "Sábado",
        "En:", "O a las", "O a las",
        "Tarea programada",
    ], [
        "Siguiente >", "Finalizar", "Eliminar",
        "Apagado:", "Reinicio:",
        "¡La tarea programada ya existe!", "¡Indique una hora válida!",
        "¡Tarea añadida!", "¡Tarea eliminada!",
        "¡No se pudo crear la tarea programada!",
        "¡No se pudo eliminar la tarea programada!",
    ]),
    ("Italian", "utf-16-be", "\r\n", "Italiano", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Spegne automaticamente il computer all'ora pianificata.",
        "< Indietro", "Avanti >", "Chiudi",
        "N/A", "Pianificata:", "Azione",
        "Aggiungi un'attività Lumidor", "Elimina un'attività",
        "Ora pianificata:", "N/A", "Pianificazione",
        "Spegni", "Riavvia",
        "1 minuto", "10 minuti", "20 minuti", "30 minuti",
        "Ogni giorno", "Domenica", "Lunedì", "Martedì", "Mercoledì", "Giovedì", "Venerdì", "Sabato",
        "Tra:", "O alle", "O alle",
        "Attività pianificata",
    ], [
        "Avanti >", "Fine", "Elimina",
        "Spegnimento:", "Riavvio:",
        "L'attività pianificata esiste già!", "Imposta un orario valido!",
        "Attività aggiunta!", "Attività eliminata!",
        "Impossibile creare l'attività pianificata!",
        "Impossibile eliminare l'attività pianificata!",
    ]),
    ("Portuguese-Brazil", "utf-8-sig", "\n", "Português (Brasil)", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Desliga o computador automaticamente no horário agendado.",
        "< Voltar", "Avançar >", "Fechar",
        "N/A", "Agendada:", "Ação",
        "Adicionar uma tarefa do Lumidor", "Excluir uma tarefa",
        "Horário:", "N/A", "Agendamento",
        "Desligar", "Reiniciar",
        "1 minuto", "10 minutos", "20 minutos", "30 minutos",
        "Todos os dias", "Domingo", "Segunda-feira", "Terça-feira", "Quarta-feira",
        "Quinta-feira", "Sexta-feira", "Sábado",
        "Após:", "Ou às", "Ou às",
        "Tarefa agendada",
    ], [
        "Avançar >", "Concluir", "Excluir",
        "Desligar em:", "Reiniciar em:",
        "A tarefa agendada já existe!", "Defina um horário válido!",
        "Tarefa adicionada!", "Tarefa excluída!",
        "Não foi possível criar a tarefa agendada!",
        "Não foi possível excluir a tarefa agendada!",
    ]),
    ("Polish", "utf-8-sig", "\r\n", "Polski", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Automatycznie wyłącza komputer o zaplanowanej godzinie.",
        "< Wstecz", "Dalej >", "Zamknij",
        "N/A", "Zaplanowane:", "Akcja",
        "Dodaj nowe zadanie Lumidor", "Usuń istniejące zadanie",
        "Planowany czas:", "N/A", "Harmonogram",
        "Wyłącz komputer", "Uruchom ponownie",
        "1 minuta", "10 minut", "20 minut", "30 minut",
        "Codziennie", "Niedziela", "Poniedziałek", "Wtorek", "Środa", "Czwartek", "Piątek", "Sobota",
        "Za:", "Lub:", "Lub:",
        "Zaplanowane zadanie",
    ], [
        "Dalej >", "Zakończ", "Usuń",
        "Wyłączenie:", "Restart:",
        "Takie zadanie już istnieje!", "Ustaw prawidłowy czas!",
        "Dodano zadanie!", "Usunięto zadanie!",
        "Nie udało się utworzyć zaplanowanego zadania!",
        "Nie udało się usunąć zaplanowanego zadania!",
    ]),
    ("Russian", "utf-16-le", "\r\n", "Русский", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "Автоматически выключает компьютер в заданное время.",
        "< Назад", "Далее >", "Закрыть",
        "N/A", "Задание:", "Действие",
        "Добавить новое задание Lumidor", "Удалить задание",
        "Время запуска:", "N/A", "Расписание",
        "Выключить", "Перезагрузить",
        "1 минута", "10 минут", "20 минут", "30 минут",
        "Ежедневно", "Воскресенье", "Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота",
        "Через:", "Или в", "Или в",
        "Запланированное задание",
    ], [
        "Далее >", "Готово", "Удалить",
        "Выключение:", "Перезагрузка:",
        "Такое задание уже существует!", "Укажите правильное время!",
        "Задание добавлено!", "Задание удалено!",
        "Не удалось создать задание!",
        "Не удалось удалить задание!",
    ]),
    ("Chinese-Simplified", "utf-8-sig", "\r\n", "简体中文", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "在预定时间自动关闭计算机。",
        "< 上一步", "下一步 >", "关闭",
        "N/A", "计划任务：", "操作",
        "添加新的 Lumidor 计划任务", "删除现有的计划任务",
        "计划时间：", "N/A", "计划",
        "关闭计算机", "重新启动计算机",
        "1 分钟", "10 分钟", "20 分钟", "30 分钟",
        "每天", "星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六",
        "延迟：", "或在", "或在",
        "计划任务",
    ], [
        "下一步 >", "完成", "删除",
        "关机时间：", "重启时间：",
        "该计划任务已存在！", "请设置有效的计划时间！",
        "添加成功！", "删除成功！",
        "无法创建计划任务！",
        "无法删除计划任务！",
    ]),
    ("Japanese", "utf-16-le", "\n", "日本語", [
        "Zelvo Lumidor", "Zelvo Lumidor",
        "指定した時刻にコンピューターを自動的にシャットダウンします。",
        "< 戻る", "次へ >", "閉じる",
        "N/A", "予定タスク：", "操作",
        "新しい Lumidor タスクを追加", "既存のタスクを削除",
        "予定時刻：", "N/A", "スケジュール",
        "シャットダウン", "再起動",
        "1 分後", "10 分後", "20 分後", "30 分後",
        "毎日", "日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日",
        "今から", "日時：", "定期：",
        "スケジュールされたタスク",
    ], [
        "次へ >", "完了", "削除",
        "シャットダウン予定：", "再起動予定：",
        "このタスクは既に登録されています。", "有効な時刻を設定してください。",
        "タスクを追加しました。", "タスクを削除しました。",
        "タスクを作成できませんでした。",
        "タスクを削除できませんでした。",
    ]),
]

# The window puts a plain blank between these texts and the time itself, so
# they are written as translators write them, without a trailing blank.
PREVIEW_PREFIXES = {"Shutdown_at", "Restart_at"}


def runtime_value(key, text):
    assert key not in PREVIEW_PREFIXES or not text[-1].isspace(), (key, text)
    return text


MARKS = {
    "cp1252": b"",
    "utf-8-sig": b"",  # the codec writes the mark itself
    "utf-16-le": b"\xff\xfe",
    "utf-16-be": b"\xfe\xff",
}


def render(name, display_name, window_texts, runtime_texts, line_end):
    assert len(window_texts) == len(WINDOW_KEYS), name
    assert len(runtime_texts) == len(RUNTIME_KEYS), name
    for text in window_texts + runtime_texts:
        assert text == text.strip(" \t"), (name, text)
    lines = [
        f"; Lumidor: {display_name}. Written by make_languages.py; edit the texts there.",
        "",
        "[Main]",
        f"DisplayName={display_name}",
        "",
        "[Lumidor_frmMain]",
        *[f"{key}={text}" for key, text in zip(WINDOW_KEYS, window_texts)],
        "",
        "[Lumidor_M]",
        *[f"{key}={runtime_value(key, text)}" for key, text in zip(RUNTIME_KEYS, runtime_texts)],
    ]
    return line_end.join(lines) + line_end


def main():
    for name, encoding, line_end, display_name, window_texts, runtime_texts in LANGUAGES:
        text = render(name, display_name, window_texts, runtime_texts, line_end)
        data = MARKS[encoding] + text.encode(encoding)
        (FOLDER / f"{name}.lng").write_bytes(data)


if __name__ == "__main__":
    main()
