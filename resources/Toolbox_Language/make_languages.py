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
import re

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

# The texts of the moment of action, shown by the task service and the
# shutdown tool in their notifications. %1, %2 are filled in by the program:
# a time of day in the locale's short time format, a number of seconds, an
# inhibiting program's name ("who") and its reason ("why"), logind's message.
ACTION_KEYS = [
    "HeadsUp_Shutdown",    # %1 time of day
    "HeadsUp_Restart",     # %1 time of day
    "HeadsUp_Body",
    "HeadsUp_Skip",
    "Countdown_Shutdown",
    "Countdown_Restart",
    "Countdown_Body_Shutdown",  # %1 seconds left, %2 time of day
    "Countdown_Body_Restart",   # %1 seconds left, %2 time of day
    "Countdown_Abort",
    "Countdown_Postpone",
    "Postpone_Failed",     # %1 time of day it stays at
    "Failed_Shutdown",
    "Failed_Restart",
    "Failed_NoLogind",
    "Failed_Refused",
    "Failed_Inhibited",    # %1 who, %2 why
    "Failed_Logind",       # %1 logind's message
    "Slept_Shutdown",      # %1 time of day the computer slept through
    "Slept_Restart",       # %1 time of day the computer slept through
    "NotPlanned_Shutdown", # %1 time of day asked for
    "NotPlanned_Restart",  # %1 time of day asked for
    "Failed_InProgress",
    "Countdown_Other",
    "Failed_Channel",
    "Ended_Body",         # %1 time of day that was planned
    "Clock_Moved",        # %1 time of day that was planned
    "Countdown_Moved",    # %1 time of day it was before
]

ACTION_TEXTS = {
    "English": [
        'The computer shuts down at %1',
        'The computer restarts at %1',
        'Save your work. Lumidor does this as you scheduled it.',
        'Skip this time',
        'The computer shuts down soon',
        'The computer restarts soon',
        'Shutdown in %1 seconds, at %2.',
        'Restart in %1 seconds, at %2.',
        'Abort',
        'Postpone 10 minutes',
        'Could not postpone: the time stays %1.',
        'The computer was NOT shut down',
        'The computer was NOT restarted',
        'The login manager (logind) cannot be reached.',
        'The system did not allow it (polkit).',
        '%1 is blocking it: %2',
        'The login manager (logind) failed: %1',
        'The computer was asleep at %1 and was NOT shut down',
        'The computer was asleep at %1 and was NOT restarted',
        'Lumidor did not plan the shutdown at %1',
        'Lumidor did not plan the restart at %1',
        'A sleep or a shutdown is already under way.',
        "Another countdown of Lumidor's is under way; its Abort keeps the computer on.",
        'Lumidor cannot keep a countdown that can be aborted: its runtime folder cannot be used.',
        'Lumidor was asked to end before %1.',
        'The clock was set past %1.',
        'Moved from %1, so that the whole countdown shows.',
    ],
    "German": [
        'Der Computer wird um %1 heruntergefahren',
        'Der Computer wird um %1 neu gestartet',
        'Speichern Sie Ihre Arbeit. Lumidor tut dies, wie Sie es geplant haben.',
        'Diesmal überspringen',
        'Der Computer wird gleich heruntergefahren',
        'Der Computer wird gleich neu gestartet',
        'Herunterfahren in %1 Sekunden, um %2.',
        'Neustart in %1 Sekunden, um %2.',
        'Abbrechen',
        '10 Minuten verschieben',
        'Verschieben nicht möglich: Es bleibt bei %1.',
        'Der Computer wurde NICHT heruntergefahren',
        'Der Computer wurde NICHT neu gestartet',
        'Die Anmeldeverwaltung (logind) ist nicht erreichbar.',
        'Das System hat es nicht erlaubt (polkit).',
        '%1 verhindert es: %2',
        'Die Anmeldeverwaltung (logind) meldet einen Fehler: %1',
        'Der Computer war um %1 im Ruhezustand und wurde NICHT heruntergefahren',
        'Der Computer war um %1 im Ruhezustand und wurde NICHT neu gestartet',
        'Lumidor hat das Herunterfahren um %1 nicht geplant',
        'Lumidor hat den Neustart um %1 nicht geplant',
        'Ein Ruhezustand oder ein Herunterfahren ist bereits im Gange.',
        'Ein anderer Countdown von Lumidor läuft bereits; mit dessen Abbrechen bleibt der Computer an.',
        'Lumidor kann keinen abbrechbaren Countdown führen: Sein Laufzeitordner ist nicht nutzbar.',
        'Lumidor wurde vor %1 zum Beenden aufgefordert.',
        'Die Uhr wurde über %1 hinaus verstellt.',
        'Von %1 verschoben, damit der ganze Countdown zu sehen ist.',
    ],
    "French": [
        "L'ordinateur s'arrête à %1",
        "L'ordinateur redémarre à %1",
        "Enregistrez votre travail. Lumidor le fait comme vous l'avez planifié.",
        'Ignorer cette fois',
        "L'ordinateur va bientôt s'arrêter",
        "L'ordinateur va bientôt redémarrer",
        'Arrêt dans %1 secondes, à %2.',
        'Redémarrage dans %1 secondes, à %2.',
        'Annuler',
        'Reporter de 10 minutes',
        f"Report impossible{NBSP}: l'heure reste %1.",
        "L'ordinateur n'a PAS été arrêté",
        "L'ordinateur n'a PAS été redémarré",
        'Le gestionnaire de sessions (logind) est injoignable.',
        "Le système ne l'a pas autorisé (polkit).",
        f"%1 l'empêche{NBSP}: %2",
        f'Le gestionnaire de sessions (logind) a échoué{NBSP}: %1',
        "L'ordinateur était en veille à %1 et n'a PAS été arrêté",
        "L'ordinateur était en veille à %1 et n'a PAS été redémarré",
        "Lumidor n'a pas planifié l'arrêt à %1",
        "Lumidor n'a pas planifié le redémarrage à %1",
        'Une mise en veille ou un arrêt est déjà en cours.',
        f"Un autre compte à rebours de Lumidor est en cours{NBSP}; son Annuler garde l'ordinateur allumé.",
        f"Lumidor ne peut pas tenir un compte à rebours annulable{NBSP}: son dossier d'exécution est inutilisable.",
        'Lumidor a été invité à se terminer avant %1.',
        "L'horloge a été réglée au-delà de %1.",
        "Décalé depuis %1 pour que le compte à rebours s'affiche en entier.",
    ],
    "Spanish": [
        'El equipo se apaga a las %1',
        'El equipo se reinicia a las %1',
        'Guarde su trabajo. Lumidor lo hace tal como lo programó.',
        'Omitir esta vez',
        'El equipo se apagará en breve',
        'El equipo se reiniciará en breve',
        'Apagado en %1 segundos, a las %2.',
        'Reinicio en %1 segundos, a las %2.',
        'Cancelar',
        'Aplazar 10 minutos',
        'No se pudo aplazar: la hora sigue siendo %1.',
        'El equipo NO se apagó',
        'El equipo NO se reinició',
        'No se puede contactar con el gestor de sesiones (logind).',
        'El sistema no lo permitió (polkit).',
        '%1 lo impide: %2',
        'El gestor de sesiones (logind) falló: %1',
        'El equipo estaba en suspensión a las %1 y NO se apagó',
        'El equipo estaba en suspensión a las %1 y NO se reinició',
        'Lumidor no programó el apagado a las %1',
        'Lumidor no programó el reinicio a las %1',
        'Ya hay una suspensión o un apagado en curso.',
        'Ya hay otra cuenta atrás de Lumidor en curso; su Cancelar mantiene el equipo encendido.',
        'Lumidor no puede llevar una cuenta atrás cancelable: su carpeta de ejecución no se puede usar.',
        'Se pidió a Lumidor que terminara antes de las %1.',
        'El reloj se ajustó más allá de las %1.',
        'Movido desde las %1 para que se vea la cuenta atrás completa.',
    ],
    "Italian": [
        'Il computer si spegne alle %1',
        'Il computer si riavvia alle %1',
        "Salva il tuo lavoro. Lumidor lo fa come l'hai pianificato.",
        'Salta questa volta',
        'Il computer si spegnerà a breve',
        'Il computer si riavvierà a breve',
        'Spegnimento tra %1 secondi, alle %2.',
        'Riavvio tra %1 secondi, alle %2.',
        'Annulla',
        'Rimanda di 10 minuti',
        "Impossibile rimandare: l'orario resta %1.",
        'Il computer NON è stato spento',
        'Il computer NON è stato riavviato',
        'Il gestore delle sessioni (logind) non è raggiungibile.',
        'Il sistema non lo ha permesso (polkit).',
        '%1 lo impedisce: %2',
        'Il gestore delle sessioni (logind) ha avuto un errore: %1',
        'Il computer era in sospensione alle %1 e NON è stato spento',
        'Il computer era in sospensione alle %1 e NON è stato riavviato',
        'Lumidor non ha pianificato lo spegnimento alle %1',
        'Lumidor non ha pianificato il riavvio alle %1',
        'Una sospensione o uno spegnimento è già in corso.',
        'È già in corso un altro conto alla rovescia di Lumidor; il suo Annulla lascia il computer acceso.',
        'Lumidor non può tenere un conto alla rovescia annullabile: la sua cartella di esecuzione non è utilizzabile.',
        'A Lumidor è stato chiesto di terminare prima delle %1.',
        "L'orologio è stato spostato oltre le %1.",
        'Spostato dalle %1, così che il conto alla rovescia si veda per intero.',
    ],
    "Portuguese-Brazil": [
        'O computador será desligado às %1',
        'O computador será reiniciado às %1',
        'Salve seu trabalho. O Lumidor faz isso como você agendou.',
        'Pular desta vez',
        'O computador será desligado em breve',
        'O computador será reiniciado em breve',
        'Desligamento em %1 segundos, às %2.',
        'Reinício em %1 segundos, às %2.',
        'Cancelar',
        'Adiar 10 minutos',
        'Não foi possível adiar: o horário continua %1.',
        'O computador NÃO foi desligado',
        'O computador NÃO foi reiniciado',
        'O gerenciador de sessões (logind) não está acessível.',
        'O sistema não permitiu (polkit).',
        '%1 está impedindo: %2',
        'O gerenciador de sessões (logind) falhou: %1',
        'O computador estava em suspensão às %1 e NÃO foi desligado',
        'O computador estava em suspensão às %1 e NÃO foi reiniciado',
        'O Lumidor não agendou o desligamento às %1',
        'O Lumidor não agendou o reinício às %1',
        'Uma suspensão ou um desligamento já está em andamento.',
        'Outra contagem regressiva do Lumidor já está em andamento; o Cancelar dela mantém o computador ligado.',
        'O Lumidor não consegue manter uma contagem regressiva cancelável: sua pasta de execução não pode ser usada.',
        'Foi pedido ao Lumidor que encerrasse antes das %1.',
        'O relógio foi ajustado para depois das %1.',
        'Movido das %1 para que a contagem regressiva apareça inteira.',
    ],
    "Polish": [
        'Komputer zostanie wyłączony o %1',
        'Komputer zostanie uruchomiony ponownie o %1',
        'Zapisz swoją pracę. Lumidor robi to zgodnie z Twoim planem.',
        'Pomiń tym razem',
        'Komputer zaraz zostanie wyłączony',
        'Komputer zaraz zostanie uruchomiony ponownie',
        'Wyłączenie za %1 s, o %2.',
        'Ponowne uruchomienie za %1 s, o %2.',
        'Przerwij',
        'Odłóż o 10 minut',
        'Nie można odłożyć: czas pozostaje %1.',
        'Komputer NIE został wyłączony',
        'Komputer NIE został uruchomiony ponownie',
        'Menedżer sesji (logind) jest nieosiągalny.',
        'System na to nie pozwolił (polkit).',
        '%1 blokuje to: %2',
        'Błąd menedżera sesji (logind): %1',
        'Komputer był uśpiony o %1 i NIE został wyłączony',
        'Komputer był uśpiony o %1 i NIE został uruchomiony ponownie',
        'Lumidor nie zaplanował wyłączenia o %1',
        'Lumidor nie zaplanował ponownego uruchomienia o %1',
        'Usypianie lub wyłączanie jest już w toku.',
        'Trwa już inne odliczanie Lumidora; jego Przerwij pozostawia komputer włączony.',
        'Lumidor nie może prowadzić odliczania, które da się przerwać: nie można użyć jego folderu roboczego.',
        'Lumidor otrzymał polecenie zakończenia przed %1.',
        'Zegar przestawiono na czas po %1.',
        'Przesunięto z %1, aby całe odliczanie było widoczne.',
    ],
    "Russian": [
        'Компьютер выключится в %1',
        'Компьютер перезагрузится в %1',
        'Сохраните свою работу. Lumidor делает это по вашему расписанию.',
        'Пропустить в этот раз',
        'Компьютер скоро выключится',
        'Компьютер скоро перезагрузится',
        'Выключение через %1 с, в %2.',
        'Перезагрузка через %1 с, в %2.',
        'Отменить',
        'Отложить на 10 минут',
        'Не удалось отложить: время остаётся %1.',
        'Компьютер НЕ выключен',
        'Компьютер НЕ перезагружен',
        'Диспетчер сеансов (logind) недоступен.',
        'Система не разрешила это (polkit).',
        '%1 блокирует это: %2',
        'Ошибка диспетчера сеансов (logind): %1',
        'Компьютер спал в %1 и НЕ был выключен',
        'Компьютер спал в %1 и НЕ был перезагружен',
        'Lumidor не запланировал выключение на %1',
        'Lumidor не запланировал перезагрузку на %1',
        'Переход в спящий режим или выключение уже выполняется.',
        'Уже идёт другой обратный отсчёт Lumidor; его кнопка «Отменить» оставит компьютер включённым.',
        'Lumidor не может вести отменяемый обратный отсчёт: его рабочая папка недоступна.',
        'Lumidor получил команду завершиться до %1.',
        'Часы были переведены за %1.',
        'Перенесено с %1, чтобы обратный отсчёт был виден полностью.',
    ],
    "Chinese-Simplified": [
        '计算机将于 %1 关闭',
        '计算机将于 %1 重新启动',
        '请保存您的工作。Lumidor 将按您的计划执行。',
        '本次跳过',
        '计算机即将关闭',
        '计算机即将重新启动',
        '%1 秒后关机，时间 %2。',
        '%1 秒后重新启动，时间 %2。',
        '中止',
        '推迟 10 分钟',
        '无法推迟：时间仍为 %1。',
        '计算机未关闭',
        '计算机未重新启动',
        '无法连接会话管理器 (logind)。',
        '系统不允许此操作 (polkit)。',
        '%1 阻止了此操作：%2',
        '会话管理器 (logind) 出错：%1',
        '计算机在 %1 处于睡眠状态，未关闭',
        '计算机在 %1 处于睡眠状态，未重新启动',
        'Lumidor 未安排 %1 的关机',
        'Lumidor 未安排 %1 的重新启动',
        '睡眠或关机已在进行中。',
        'Lumidor 的另一个倒计时正在进行；其“中止”按钮可让计算机保持开启。',
        'Lumidor 无法进行可中止的倒计时：无法使用其运行时文件夹。',
        'Lumidor 在 %1 之前被要求结束。',
        '时钟被调到了 %1 之后。',
        '已从 %1 推迟，以便显示完整的倒计时。',
    ],
    "Japanese": [
        '%1 にコンピューターをシャットダウンします',
        '%1 にコンピューターを再起動します',
        '作業内容を保存してください。Lumidor は予定どおりに実行します。',
        '今回はスキップ',
        'まもなくコンピューターをシャットダウンします',
        'まもなくコンピューターを再起動します',
        '%1 秒後 (%2) にシャットダウンします。',
        '%1 秒後 (%2) に再起動します。',
        '中止',
        '10 分延期',
        '延期できませんでした。時刻は %1 のままです。',
        'コンピューターはシャットダウンされませんでした',
        'コンピューターは再起動されませんでした',
        'セッション マネージャー (logind) に接続できません。',
        'システムが許可しませんでした (polkit)。',
        '%1 が妨げています: %2',
        'セッション マネージャー (logind) でエラーが発生しました: %1',
        '%1 にはコンピューターがスリープ中だったため、シャットダウンされませんでした',
        '%1 にはコンピューターがスリープ中だったため、再起動されませんでした',
        'Lumidor は %1 のシャットダウンを予定しませんでした',
        'Lumidor は %1 の再起動を予定しませんでした',
        'スリープまたはシャットダウンがすでに進行中です。',
        'Lumidor の別のカウントダウンが進行中です。その「中止」でコンピューターの電源は入ったままになります。',
        'Lumidor は中止できるカウントダウンを行えません。実行時フォルダーを使用できません。',
        'Lumidor は %1 より前に終了を求められました。',
        '時計が %1 より後に設定されました。',
        'カウントダウン全体が表示されるよう、%1 から移動しました。',
    ],
}

# The texts of lumidorctl, the command line: messages to people on a
# terminal. %1 is a job's label and %2 its work item's name. The weekdays it
# reads are the English ones in every language, as its manual says.
CTL_KEYS = [
    "Ctl_Added",        # %1 label, %2 name
    "Ctl_Deleted",      # %1 label, %2 name
    "Ctl_Shutdown",
    "Ctl_Restart",
    "Ctl_NoJob",
    "Ctl_BadUsage",
    "Ctl_BadDelay",
    "Ctl_BadTime",
    "Ctl_BadDate",
    "Ctl_BadWhen",
    "Ctl_BadDay",
    "Ctl_NoStore",
    "Ctl_AbortFailed",
]

CTL_TEXTS = {
    "English": [
        "%1, job %2", "Deleted: %1, job %2", "Shut down", "Restart", "no such job",
        "not understood; see lumidorctl --help", "the minutes must be 1 to 1440",
        "not a time of day (00:00 to 23:59)", "not a day of the calendar",
        "not a moment: +M, HH:MM or YYYY-MM-DD HH:MM",
        "not a weekday: Monday to Sunday, or their first three letters",
        "the task store cannot be used", "the countdown could not be aborted",
    ],
    "German": [
        "%1, Aufgabe %2", "Gelöscht: %1, Aufgabe %2", "Herunterfahren", "Neu starten", "keine solche Aufgabe",
        "nicht verstanden; siehe lumidorctl --help", "die Minuten müssen zwischen 1 und 1440 liegen",
        "keine Uhrzeit (00:00 bis 23:59)", "kein Tag des Kalenders",
        "kein Zeitpunkt: +M, HH:MM oder YYYY-MM-DD HH:MM",
        "kein Wochentag: Monday bis Sunday (englisch) oder deren erste drei Buchstaben",
        "der Aufgabenspeicher ist nicht nutzbar", "der Countdown konnte nicht abgebrochen werden",
    ],
    "French": [
        "%1, tâche %2", f"Supprimée{NBSP}: %1, tâche %2", "Arrêter", "Redémarrer", "tâche inconnue",
        "non compris ; voir lumidorctl --help", "les minutes vont de 1 à 1440",
        "pas une heure (00:00 à 23:59)", "pas un jour du calendrier",
        f"pas un moment{NBSP}: +M, HH:MM ou YYYY-MM-DD HH:MM",
        f"pas un jour de la semaine{NBSP}: Monday à Sunday (en anglais) ou leurs trois premières lettres",
        "le dépôt des tâches est inutilisable", "le compte à rebours n'a pas pu être annulé",
    ],
    "Spanish": [
        "%1, tarea %2", "Eliminada: %1, tarea %2", "Apagar", "Reiniciar", "no existe esa tarea",
        "no se entiende; consulte lumidorctl --help", "los minutos deben estar entre 1 y 1440",
        "no es una hora del día (00:00 a 23:59)", "no es un día del calendario",
        "no es un momento: +M, HH:MM o YYYY-MM-DD HH:MM",
        "no es un día de la semana: Monday a Sunday (en inglés) o sus tres primeras letras",
        "no se puede usar el almacén de tareas", "no se pudo cancelar la cuenta atrás",
    ],
    "Italian": [
        "%1, attività %2", "Eliminata: %1, attività %2", "Arresta", "Riavvia", "attività inesistente",
        "non compreso; vedere lumidorctl --help", "i minuti devono essere tra 1 e 1440",
        "non è un'ora del giorno (00:00 - 23:59)", "non è un giorno del calendario",
        "non è un momento: +M, HH:MM o YYYY-MM-DD HH:MM",
        "non è un giorno della settimana: da Monday a Sunday (in inglese) o le prime tre lettere",
        "l'archivio delle attività non è utilizzabile", "impossibile annullare il conto alla rovescia",
    ],
    "Portuguese-Brazil": [
        "%1, tarefa %2", "Excluída: %1, tarefa %2", "Desligar", "Reiniciar", "tarefa inexistente",
        "não entendido; veja lumidorctl --help", "os minutos devem ser de 1 a 1440",
        "não é uma hora do dia (00:00 a 23:59)", "não é um dia do calendário",
        "não é um momento: +M, HH:MM ou YYYY-MM-DD HH:MM",
        "não é um dia da semana: Monday a Sunday (em inglês) ou suas três primeiras letras",
        "o armazenamento de tarefas não pode ser usado", "não foi possível cancelar a contagem regressiva",
    ],
    "Polish": [
        "%1, zadanie %2", "Usunięto: %1, zadanie %2", "Zamknij", "Uruchom ponownie", "nie ma takiego zadania",
        "niezrozumiałe; zobacz lumidorctl --help", "minuty muszą wynosić od 1 do 1440",
        "to nie jest godzina (00:00 do 23:59)", "to nie jest dzień kalendarza",
        "to nie jest moment: +M, HH:MM lub YYYY-MM-DD HH:MM",
        "to nie jest dzień tygodnia: Monday do Sunday (po angielsku) lub ich pierwsze trzy litery",
        "nie można użyć magazynu zadań", "nie udało się przerwać odliczania",
    ],
    "Russian": [
        "%1, задание %2", "Удалено: %1, задание %2", "Выключение", "Перезагрузка", "нет такого задания",
        "непонятно; см. lumidorctl --help", "минут должно быть от 1 до 1440",
        "это не время суток (00:00–23:59)", "такого дня нет в календаре",
        "это не момент времени: +M, HH:MM или YYYY-MM-DD HH:MM",
        "это не день недели: Monday–Sunday (по-английски) или их первые три буквы",
        "хранилище заданий недоступно", "не удалось прервать обратный отсчёт",
    ],
    "Chinese-Simplified": [
        "%1，任务 %2", "已删除：%1，任务 %2", "关机", "重新启动", "没有此任务",
        "无法理解；请参阅 lumidorctl --help", "分钟数必须在 1 到 1440 之间",
        "不是有效的时刻 (00:00 到 23:59)", "不是日历上的日期",
        "不是有效的时间：+M、HH:MM 或 YYYY-MM-DD HH:MM",
        "不是星期几：Monday 到 Sunday（英文）或其前三个字母",
        "无法使用任务存储", "无法中止倒计时",
    ],
    "Japanese": [
        "%1、タスク %2", "削除しました: %1、タスク %2", "シャットダウン", "再起動", "そのタスクはありません",
        "解釈できません。lumidorctl --help を参照してください", "分は 1 から 1440 の範囲で指定してください",
        "時刻ではありません (00:00 から 23:59)", "暦にない日付です",
        "日時ではありません: +M、HH:MM、YYYY-MM-DD HH:MM のいずれか",
        "曜日ではありません: Monday から Sunday (英語) またはその先頭 3 文字",
        "タスクの保存先を使用できません", "カウントダウンを中止できませんでした",
    ],
}

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


def placeholders(text):
    return sorted(set(re.findall(r"%[1-9]", text)))


def render(name, display_name, window_texts, runtime_texts, line_end):
    assert len(window_texts) == len(WINDOW_KEYS), name
    assert len(runtime_texts) == len(RUNTIME_KEYS), name
    action_texts = ACTION_TEXTS[name]
    assert len(action_texts) == len(ACTION_KEYS), name
    for key, text, english in zip(ACTION_KEYS, action_texts, ACTION_TEXTS["English"]):
        assert placeholders(text) == placeholders(english), (name, key)
    ctl_texts = CTL_TEXTS[name]
    assert len(ctl_texts) == len(CTL_KEYS), name
    for key, text, english in zip(CTL_KEYS, ctl_texts, CTL_TEXTS["English"]):
        assert placeholders(text) == placeholders(english), (name, key)
    runtime_texts = runtime_texts + action_texts + ctl_texts
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
        *[f"{key}={runtime_value(key, text)}" for key, text in zip(RUNTIME_KEYS + ACTION_KEYS + CTL_KEYS, runtime_texts)],
    ]
    return line_end.join(lines) + line_end


def main():
    for name, encoding, line_end, display_name, window_texts, runtime_texts in LANGUAGES:
        text = render(name, display_name, window_texts, runtime_texts, line_end)
        data = MARKS[encoding] + text.encode(encoding)
        (FOLDER / f"{name}.lng").write_bytes(data)


if __name__ == "__main__":
    main()
