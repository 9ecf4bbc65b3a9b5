<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>BdfImport</name>
    <message>
        <source>столбец «%1» указан дважды</source>
        <translation>the column “%1” appears twice</translation>
    </message>
    <message>
        <source>нет обязательного столбца «%1»</source>
        <translation>the required column “%1” is missing</translation>
    </message>
    <message>
        <source>Пропущены столбцы, которых не знает формат BDF: %1</source>
        <translation>Skipped the columns the BDF format does not know: %1</translation>
    </message>
    <message>
        <source>полей в строке: %1, в заголовке: %2</source>
        <translation>the row has %1 fields, the header %2</translation>
    </message>
    <message>
        <source>«%1»: «%2» — не число</source>
        <translation>“%1”: “%2” is not a number</translation>
    </message>
    <message>
        <source>«%1»: нет значения</source>
        <translation>“%1” is empty</translation>
    </message>
    <message>
        <source>время испытания идёт назад: %1 с после %2 с</source>
        <translation>the test time goes back: %1 s after %2 s</translation>
    </message>
    <message>
        <source>напряжение %1 В вне того, что хранит журнал (от 0 до 65.535 В)</source>
        <translation>voltage %1 V is beyond what the journal keeps (0 to 65.535 V)</translation>
    </message>
    <message>
        <source>ток %1 А вне того, что хранит журнал (до 65.535 А по модулю)</source>
        <translation>current %1 A is beyond what the journal keeps (up to 65.535 A either way)</translation>
    </message>
    <message>
        <source>шаг %1 помечен «%2», но его ток заряжает элемент (положительный ток заряжает)</source>
        <translation>step %1 is marked “%2”, but its current charges the cell (positive current charges it)</translation>
    </message>
    <message>
        <source>шаг %1 помечен «%2», но его ток разряжает элемент (отрицательный ток разряжает)</source>
        <translation>step %1 is marked “%2”, but its current discharges the cell (negative current discharges it)</translation>
    </message>
    <message>
        <source>ток %1 А мельче 1 мА, которым считает журнал</source>
        <translation>current %1 A is finer than the journal&apos;s 1 mA</translation>
    </message>
    <message>
        <source>Rвн %1 Ом вне того, что хранит журнал (от 0 до 65.535 Ом)</source>
        <translation>internal resistance %1 ohm is beyond what the journal keeps (0 to 65.535 ohm)</translation>
    </message>
    <message>
        <source>Rвн %1 Ом мельче 1 мОм, которым считает журнал</source>
        <translation>internal resistance %1 ohm is finer than the journal&apos;s 1 mΩ</translation>
    </message>
    <message>
        <source>шаг %1 длится дольше 255:59:59, которые хранит журнал</source>
        <translation>step %1 lasts longer than the journal&apos;s 255:59:59</translation>
    </message>
    <message>
        <source>ёмкость %1 А·ч вне того, что хранит журнал</source>
        <translation>capacity %1 Ah is beyond what the journal keeps</translation>
    </message>
    <message>
        <source>%1, шаг %2</source>
        <translation>%1, step %2</translation>
    </message>
    <message>
        <source>время Unix %1 с — не дата от 1970 до 9999 года</source>
        <translation>Unix time %1 s is no date from 1970 to 9999</translation>
    </message>
    <message>
        <source>поток gzip не распаковывается</source>
        <translation>the gzip stream does not inflate</translation>
    </message>
    <message>
        <source>в файле нет строки заголовка</source>
        <translation>the file has no header row</translation>
    </message>
    <message>
        <source>нет ни одного шага заряда или разряда</source>
        <translation>no charge or discharge step at all</translation>
    </message>
    <message>
        <source>Температура вне 0…255 °C приведена к этим пределам в показаниях: %1</source>
        <translation>Temperatures outside 0…255 °C set to those limits in readings: %1</translation>
    </message>
    <message>
        <source>%1: не удалось открыть файл</source>
        <translation>%1: cannot open the file</translation>
    </message>
    <message>
        <source>%1: файл больше 1 ГиБ</source>
        <translation>%1: the file is larger than 1 GiB</translation>
    </message>
    <message>
        <source>%1: не удалось прочитать файл: %2</source>
        <translation>%1: cannot read the file: %2</translation>
    </message>
    <message>
        <source>%1: не удалось добавить реестр элементов: %2</source>
        <translation>%1: cannot add the cell register: %2</translation>
    </message>
    <message>
        <source>%1: не удалось записать в журнал: %2</source>
        <translation>%1: cannot write to the journal: %2</translation>
    </message>
    <message>
        <source>%1: не удалось связать испытание %2 с элементом: %3</source>
        <translation>%1: cannot link run %2 to the cell: %3</translation>
    </message>
</context>
<context>
    <name>CBenchDlg</name>
    <message>
        <source>Стенд</source>
        <translation>Bench</translation>
    </message>
    <message>
        <source>Пуск</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Программа...</source>
        <translation>Program...</translation>
    </message>
    <message>
        <source>Выбрать все</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Сначала выберите каналы.</source>
        <translation>Select channels first.</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Остановить: %1?</source>
        <translation>Stop %1?</translation>
    </message>
    <message>
        <source>Идут испытания: %1.
Выйти из программы?</source>
        <translation>Tests are running: %1.
Exit the program?</translation>
    </message>
    <message>
        <source>Ячейка в держателе канала %1 (имя или штрихкод):</source>
        <translation>Cell in the holder of channel %1 (name or barcode):</translation>
    </message>
</context>
<context>
    <name>CBenchTile</name>
    <message>
        <source>%1 В</source>
        <translation>%1 V</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>Следующая ячейка</source>
        <translation>Next cell</translation>
    </message>
    <message>
        <source>Ячейка, которую испытает следующий запуск канала: наберите или отсканируйте код и нажмите Enter.</source>
        <translation>The cell the channel&apos;s next run tests: type or scan its code and press Enter.</translation>
    </message>
    <message>
        <source>Нет кривой</source>
        <translation>No curve</translation>
    </message>
    <message>
        <source>Проверить напряжение</source>
        <translation>Check voltage</translation>
    </message>
    <message>
        <source>Напряжение ячейки в держателе, среднее за 10 с, в журнал: ячейка из поля слева, а если оно пусто, названная в вопросе.</source>
        <translation>The voltage of the cell in the holder, averaged over 10 s, into the journal: the cell in the field to the left, or the one named when asked if the field is empty.</translation>
    </message>
</context>
<context>
    <name>CBrimvoltDlg</name>
    <message>
        <source>Идет заряд!
Выйти из программы?</source>
        <translation>Charging in progress!
Exit the program?</translation>
    </message>
    <message>
        <source>Выполняется программа испытаний!
Выйти из программы?</source>
        <translation>A test program is running!
Exit the program?</translation>
    </message>
    <message>
        <source>Идет разряд!
Выйти из программы?</source>
        <translation>Discharging in progress!
Exit the program?</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Не удалось открыть порт %1</source>
        <translation>Could not open port %1</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>COM порт не открыт</source>
        <translation>The COM port is not open</translation>
    </message>
    <message>
        <source>Время или емкость кривой не помещаются в модуль.</source>
        <translation>The curve&apos;s time or capacity does not fit into the module.</translation>
    </message>
    <message>
        <source>Сначала нужно выбрать нужный параметр.</source>
        <translation>Select a parameter first.</translation>
    </message>
    <message>
        <source>Недопустимое значение параметра.</source>
        <translation>Invalid parameter value.</translation>
    </message>
    <message>
        <source>Журнал испытаний</source>
        <translation>Run journal</translation>
    </message>
    <message>
        <source>Проверка напряжения</source>
        <translation>Voltage check</translation>
    </message>
    <message>
        <source>Ячейка в держателе (имя или штрихкод):</source>
        <translation>Cell in the holder (name or barcode):</translation>
    </message>
</context>
<context>
    <name>CCompareDlg</name>
    <message>
        <source>Сравнение испытаний</source>
        <translation>Run comparison</translation>
    </message>
    <message>
        <source>Весь график</source>
        <translation>Whole plot</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Рисунок PNG...</source>
        <translation>PNG picture...</translation>
    </message>
    <message>
        <source>Рисунок SVG...</source>
        <translation>SVG picture...</translation>
    </message>
    <message>
        <source>CSV...</source>
        <translation>CSV...</translation>
    </message>
    <message>
        <source>CSV для Excel...</source>
        <translation>CSV for Excel...</translation>
    </message>
    <message>
        <source>Кривая</source>
        <translation>Curve</translation>
    </message>
    <message>
        <source>Емкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>Δ</source>
        <translation>Δ</translation>
    </message>
    <message>
        <source>Энергия, Вт·ч</source>
        <translation>Energy, Wh</translation>
    </message>
    <message>
        <source>U ср., В</source>
        <translation>U avg, V</translation>
    </message>
    <message>
        <source>Rвн, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>Длительность</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Не удалось прочитать кривую из файла %1.</source>
        <translation>Could not read a curve from the file %1.</translation>
    </message>
    <message>
        <source>Ошибка!</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>Рисунки SVG *.svg</source>
        <translation>SVG pictures *.svg</translation>
    </message>
    <message>
        <source>Рисунки PNG *.png</source>
        <translation>PNG pictures *.png</translation>
    </message>
    <message>
        <source>Не удалось записать файл %1.
Причина: %2</source>
        <translation>Could not write the file %1.
Reason: %2</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>dQ/dV</source>
        <translation>dQ/dV</translation>
    </message>
    <message>
        <source>Сглаживание, мВ</source>
        <translation>Smoothing, mV</translation>
    </message>
    <message>
        <source>Пик, В</source>
        <translation>Peak, V</translation>
    </message>
    <message>
        <source>dQ/dV, мА·ч/В</source>
        <translation>dQ/dV, mAh/V</translation>
    </message>
    <message>
        <source>Площадь, мА·ч</source>
        <translation>Area, mAh</translation>
    </message>
    <message>
        <source>Без dQ/dV (нет тока: файл кривой, отдых или слишком короткое испытание): %1</source>
        <translation>No dQ/dV (no current: a curve file, a rest or too short a run): %1</translation>
    </message>
    <message>
        <source>Файлы CSV *.csv</source>
        <translation>CSV files *.csv</translation>
    </message>
    <message>
        <source>Добавить файл...</source>
        <translation>Add file...</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл BDF.
%1</source>
        <translation>Cannot read the BDF file.
%1</translation>
    </message>
    <message>
        <source>Файлы BDF *.bdf *.bdf.csv *.bdf.gz</source>
        <translation>BDF files *.bdf *.bdf.csv *.bdf.gz</translation>
    </message>
    <message>
        <source>dV/dQ</source>
        <translation>dV/dQ</translation>
    </message>
    <message>
        <source>Без dV/dQ (нет тока: файл кривой, отдых или слишком короткое испытание): %1</source>
        <translation>No dV/dQ (no current: a curve file, a rest or too short a run): %1</translation>
    </message>
</context>
<context>
    <name>CComparePlot</name>
    <message>
        <source>%1 мА·ч</source>
        <translation>%1 mAh</translation>
    </message>
    <message>
        <source>%1 Вт·ч</source>
        <translation>%1 Wh</translation>
    </message>
    <message>
        <source>%1 В</source>
        <translation>%1 V</translation>
    </message>
    <message>
        <source>%1 мА·ч/В</source>
        <translation>%1 mAh/V</translation>
    </message>
    <message>
        <source>%1 В/А·ч</source>
        <translation>%1 V/Ah</translation>
    </message>
</context>
<context>
    <name>CGradeBoundsDlg</name>
    <message>
        <source>Сорт A: доля номинала не ниже, %</source>
        <translation>Grade A: share of nominal at least, %</translation>
    </message>
    <message>
        <source>Сорт B: доля номинала не ниже, %</source>
        <translation>Grade B: share of nominal at least, %</translation>
    </message>
    <message>
        <source>Сорт C: доля номинала не ниже, %</source>
        <translation>Grade C: share of nominal at least, %</translation>
    </message>
    <message>
        <source>Rin не выше, мОм</source>
        <translation>Rin at most, mΩ</translation>
    </message>
    <message>
        <source>Саморазряд не выше, мВ/сут</source>
        <translation>Self-discharge at most, mV/day</translation>
    </message>
    <message>
        <source>Хранение не короче, сут</source>
        <translation>Storage at least, days</translation>
    </message>
    <message>
        <source>Границы сортов</source>
        <translation>Grade bounds</translation>
    </message>
    <message>
        <source>Химия:</source>
        <translation>Chemistry:</translation>
    </message>
    <message>
        <source>пусто: не оценивается</source>
        <translation>empty: not judged</translation>
    </message>
    <message>
        <source>Саморазряд за более короткое хранение не оценивается</source>
        <translation>Self-discharge over a shorter storage is not judged</translation>
    </message>
    <message>
        <source>По умолчанию</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>Заполните поле «%1».</source>
        <translation>Fill in “%1”.</translation>
    </message>
    <message>
        <source>«%1»: «%2» не подходит, нужно число не меньше нуля.</source>
        <translation>“%1”: “%2” will not do; a number of zero or more is needed.</translation>
    </message>
    <message>
        <source>Не удалось сохранить границы сортов.
Причина: %1</source>
        <translation>Could not save the grade bounds.
Reason: %1</translation>
    </message>
</context>
<context>
    <name>CGraf</name>
    <message>
        <source>Разрядная кривая - Безымянный</source>
        <translation>Discharge curve - Untitled</translation>
    </message>
    <message>
        <source>Зарядная кривая - Безымянный</source>
        <translation>Charge curve - Untitled</translation>
    </message>
    <message>
        <source>Загрузить из файла</source>
        <translation>Load from file</translation>
    </message>
    <message>
        <source>Сохранить в файле</source>
        <translation>Save to file</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>CJournalDlg</name>
    <message>
        <source>Журнал испытаний</source>
        <translation>Run journal</translation>
    </message>
    <message>
        <source>В окно графика</source>
        <translation>To curve window</translation>
    </message>
    <message>
        <source>Сравнить</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>Экспорт</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>CSV...</source>
        <translation>CSV...</translation>
    </message>
    <message>
        <source>CSV для Excel...</source>
        <translation>CSV for Excel...</translation>
    </message>
    <message>
        <source>Файл кривой...</source>
        <translation>Curve file...</translation>
    </message>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>завершен</source>
        <translation>finished</translation>
    </message>
    <message>
        <source>Открыть в окне графика</source>
        <translation>Open in curve window</translation>
    </message>
    <message>
        <source>Удалить...</source>
        <translation>Delete...</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Журнал пока не создан: %1</source>
        <translation>No journal yet: %1</translation>
    </message>
    <message>
        <source>Испытаний: %1</source>
        <translation>Runs: %1</translation>
    </message>
    <message>
        <source>Испытаний: %1 из %2</source>
        <translation>Runs: %1 of %2</translation>
    </message>
    <message>
        <source>Испытания больше нет в журнале.</source>
        <translation>The run is no longer in the journal.</translation>
    </message>
    <message>
        <source>Причина: %1</source>
        <translation>Reason: %1</translation>
    </message>
    <message>
        <source>Не удалось сохранить изменение в журнале.
%1</source>
        <translation>Could not save the change in the journal.
%1</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Не удалось прочитать испытание из журнала.
Причина: %1</source>
        <translation>Could not read the run from the journal.
Reason: %1</translation>
    </message>
    <message>
        <source>журнал недоступен</source>
        <translation>journal unavailable</translation>
    </message>
    <message>
        <source>Файл %1 — это сам журнал испытаний.
Выберите другое имя.</source>
        <translation>The file %1 is the run journal itself.
Choose another name.</translation>
    </message>
    <message>
        <source>Выберите испытание.</source>
        <translation>Select a run.</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Для сравнения выберите два испытания или больше.</source>
        <translation>Select two runs or more to compare.</translation>
    </message>
    <message>
        <source>Файлы CSV *.csv</source>
        <translation>CSV files *.csv</translation>
    </message>
    <message>
        <source>Не удалось записать файл %1.
Причина: %2</source>
        <translation>Could not write the file %1.
Reason: %2</translation>
    </message>
    <message>
        <source>  и еще %1</source>
        <translation>  and %1 more</translation>
    </message>
    <message>
        <source>Удалить из журнала испытания (%1) вместе с их измерениями?
%2
Удаление нельзя отменить.</source>
        <translation>Delete the runs (%1) from the journal with their measurements?
%2
This cannot be undone.</translation>
    </message>
    <message>
        <source>Не удалось удалить испытания.
Причина: %1</source>
        <translation>Could not delete the runs.
Reason: %1</translation>
    </message>
    <message>
        <source>Отбор по метке, ячейке или примечанию</source>
        <translation>Filter by label, cell or note</translation>
    </message>
    <message>
        <source>Следующая ячейка:</source>
        <translation>Next cell:</translation>
    </message>
    <message>
        <source>имя или штрихкод</source>
        <translation>name or barcode</translation>
    </message>
    <message>
        <source>Следующее испытание (и идущее, если у него нет ячейки) будет записано на эту ячейку</source>
        <translation>The next run (and the running one, if it has no cell) will be recorded for this cell</translation>
    </message>
    <message>
        <source>Испытания</source>
        <translation>Runs</translation>
    </message>
    <message>
        <source>Ячейки</source>
        <translation>Cells</translation>
    </message>
    <message>
        <source>Отбор по имени, производителю или примечанию</source>
        <translation>Filter by name, maker or note</translation>
    </message>
    <message>
        <source>Слабая ниже</source>
        <translation>Weak below</translation>
    </message>
    <message>
        <source> % номинала</source>
        <translation> % of nominal</translation>
    </message>
    <message>
        <source>не испытана</source>
        <translation>not tested</translation>
    </message>
    <message>
        <source>Для сравнения выберите ячейки, у которых вместе два испытания или больше.</source>
        <translation>To compare, select cells that have two runs or more between them.</translation>
    </message>
    <message>
        <source>Ячеек: %1</source>
        <translation>Cells: %1</translation>
    </message>
    <message>
        <source>Ячеек: %1 из %2</source>
        <translation>Cells: %1 of %2</translation>
    </message>
    <message>
        <source>Сборка батареи...</source>
        <translation>Build a pack...</translation>
    </message>
    <message>
        <source>Печать этикеток...</source>
        <translation>Print labels...</translation>
    </message>
    <message>
        <source>BDF...</source>
        <translation>BDF...</translation>
    </message>
    <message>
        <source>  испытание %1: без ячейки</source>
        <translation>  run %1: no cell</translation>
    </message>
    <message>
        <source>  испытание %1: ячейка %2</source>
        <translation>  run %1: cell %2</translation>
    </message>
    <message>
        <source>В файл BDF записываются испытания одной ячейки, а выбраны испытания разных:
%1</source>
        <translation>A BDF file holds the runs of one cell, but the runs chosen are of different cells:
%1</translation>
    </message>
    <message>
        <source>Файлы BDF *.bdf</source>
        <translation>BDF files *.bdf</translation>
    </message>
    <message>
        <source>Отчёт...</source>
        <translation>Report...</translation>
    </message>
    <message>
        <source>Файлы PDF *.pdf</source>
        <translation>PDF files *.pdf</translation>
    </message>
    <message>
        <source>Не удалось прочитать ячейки из журнала.
Причина: %1</source>
        <translation>Could not read the cells from the journal.
Reason: %1</translation>
    </message>
    <message>
        <source>Границы сортов...</source>
        <translation>Grade bounds...</translation>
    </message>
    <message>
        <source>Границы, по которым ячейки делятся на сорта A, B, C и брак</source>
        <translation>The bounds that sort cells into grades A, B, C and reject</translation>
    </message>
    <message>
        <source>Границы сортов хранятся в журнале, а его пока нет:
%1</source>
        <translation>Grade bounds are kept in the journal, and there is none yet:
%1</translation>
    </message>
</context>
<context>
    <name>CProgramDlg</name>
    <message>
        <source>Программа испытаний</source>
        <translation>Test program</translation>
    </message>
    <message>
        <source>Открыть...</source>
        <translation>Open...</translation>
    </message>
    <message>
        <source>Цикл</source>
        <translation>Cycle</translation>
    </message>
    <message>
        <source>Заряд, мАч</source>
        <translation>Charge, mAh</translation>
    </message>
    <message>
        <source>Разряд, мАч</source>
        <translation>Discharge, mAh</translation>
    </message>
    <message>
        <source>По ёмкости, %</source>
        <translation>Coulombic, %</translation>
    </message>
    <message>
        <source>По энергии, %</source>
        <translation>Energy, %</translation>
    </message>
    <message>
        <source>Rin, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>t макс., °C</source>
        <translation>t max, °C</translation>
    </message>
    <message>
        <source>Пуск</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Продолжить</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Выполняется программа испытаний.
OK: прервать всю программу.
Отмена: остановить только текущий шаг.</source>
        <translation>A test program is running.
OK: end the whole program.
Cancel: stop only the current step.</translation>
    </message>
    <message>
        <source>Шаг %1 из %2, цикл %3, в шаге %4</source>
        <translation>Step %1 of %2, cycle %3, %4 in the step</translation>
    </message>
    <message>
        <source>Далее: %1. %2</source>
        <translation>Next: %1. %2</translation>
    </message>
    <message>
        <source>Далее: конец программы</source>
        <translation>Next: end of the program</translation>
    </message>
    <message>
        <source>Изменить...</source>
        <translation>Edit...</translation>
    </message>
    <message>
        <source>Сохранить результаты...</source>
        <translation>Save results...</translation>
    </message>
    <message>
        <source>Результаты по циклам (*.png *.svg *.csv)</source>
        <translation>Results per cycle (*.png *.svg *.csv)</translation>
    </message>
    <message>
        <source>Результаты не сохранены:
%1
%2</source>
        <translation>The results were not saved:
%1
%2</translation>
    </message>
    <message>
        <source>Программа испытаний «%1» не завершена: шаг %2, цикл %3.
OK: продолжить с этого шага.
Отмена: завершить её.</source>
        <translation>The test program &quot;%1&quot; did not finish: step %2, cycle %3.
OK: go on from that step.
Cancel: end it.</translation>
    </message>
    <message>
        <source>следующая ячейка журнала</source>
        <translation>the journal&apos;s next cell</translation>
    </message>
    <message>
        <source>Все разряды, заряды и отдых программы записываются в журнал этой ячейке. Пусто: ячейке, заданной в журнале как следующая.</source>
        <translation>Every discharge, charge and rest of the program is journalled for this cell. Empty: for the cell the journal window names as the next.</translation>
    </message>
    <message>
        <source>Ячейка:</source>
        <translation>Cell:</translation>
    </message>
    <message>
        <source>КПД не указан (цикл %1): %2</source>
        <translation>No efficiency (cycle %1): %2</translation>
    </message>
    <message>
        <source>заряд начат не с разряженной ячейки</source>
        <translation>the charge did not begin from an emptied cell</translation>
    </message>
    <message>
        <source>Пик dQ/dV, В</source>
        <translation>dQ/dV peak, V</translation>
    </message>
    <message>
        <source>Высота пика, мАч/В</source>
        <translation>Peak height, mAh/V</translation>
    </message>
</context>
<context>
    <name>CProgramEditDlg</name>
    <message>
        <source>Изменить программу</source>
        <translation>Edit the program</translation>
    </message>
    <message>
        <source>Название:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>не известна</source>
        <translation>not known</translation>
    </message>
    <message>
        <source>По ней считается предельное время шагов, у которых оно не задано</source>
        <translation>The time limit of steps that have none is worked out from it</translation>
    </message>
    <message>
        <source>Номинальная ёмкость ячейки, мА·ч:</source>
        <translation>Nominal capacity of the cell, mAh:</translation>
    </message>
    <message>
        <source>Шаг</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>Ток, А</source>
        <translation>Current, A</translation>
    </message>
    <message>
        <source>Отсечка, В</source>
        <translation>Cut-off, V</translation>
    </message>
    <message>
        <source>Предел, мин</source>
        <translation>Limit, min</translation>
    </message>
    <message>
        <source>Отдых, мин</source>
        <translation>Rest, min</translation>
    </message>
    <message>
        <source>С шага</source>
        <translation>From step</translation>
    </message>
    <message>
        <source>Раз</source>
        <translation>Times</translation>
    </message>
    <message>
        <source>По умолчанию: вдвое дольше, чем номинальная ёмкость отдаётся током шага; 24 ч, если ёмкость не известна</source>
        <translation>By default: twice the time the nominal capacity lasts at the step&apos;s current; 24 h when the capacity is not known</translation>
    </message>
    <message>
        <source>Добавить шаг</source>
        <translation>Add step</translation>
    </message>
    <message>
        <source>Удалить шаг</source>
        <translation>Delete step</translation>
    </message>
    <message>
        <source>Выше</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>Ниже</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>Сохранить в файл...</source>
        <translation>Save to file...</translation>
    </message>
    <message>
        <source>Программа испытаний (*.json)</source>
        <translation>Test program (*.json)</translation>
    </message>
    <message>
        <source>Файл программы не записан:
%1</source>
        <translation>The program file was not written:
%1</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>Отдых</source>
        <translation>Rest</translation>
    </message>
    <message>
        <source>Замер Rin</source>
        <translation>Measure Rin</translation>
    </message>
    <message>
        <source>Повторить</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>по умолч.</source>
        <translation>default</translation>
    </message>
    <message>
        <source>Программе нужно название.</source>
        <translation>The program needs a name.</translation>
    </message>
    <message>
        <source>Программа не может выполняться:
%1</source>
        <translation>The program cannot run:
%1</translation>
    </message>
</context>
<context>
    <name>CheckStart</name>
    <message>
        <source>Проверка напряжения</source>
        <translation>Voltage check</translation>
    </message>
</context>
<context>
    <name>ComparisonFigure</name>
    <message>
        <source>%1 мА·ч</source>
        <translation>%1 mAh</translation>
    </message>
    <message>
        <source>%1 Вт·ч</source>
        <translation>%1 Wh</translation>
    </message>
    <message>
        <source>Время, ч:мм</source>
        <translation>Time, h:mm</translation>
    </message>
    <message>
        <source>Ёмкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>Энергия, Вт·ч</source>
        <translation>Energy, Wh</translation>
    </message>
    <message>
        <source>Напряжение, В</source>
        <translation>Voltage, V</translation>
    </message>
    <message>
        <source>(нет этой оси)</source>
        <translation>(no such axis)</translation>
    </message>
    <message>
        <source>dQ/dV, мА·ч/В</source>
        <translation>dQ/dV, mAh/V</translation>
    </message>
    <message>
        <source>dV/dQ, В/А·ч</source>
        <translation>dV/dQ, V/Ah</translation>
    </message>
</context>
<context>
    <name>CurveFileWriter</name>
    <message>
        <source>под этим именем не обычный файл</source>
        <translation>this name is not a regular file</translation>
    </message>
    <message>
        <source>Не удалось записать файл автосохранения
%1
Запись будет повторяться с каждой новой точкой кривой.</source>
        <translation>Could not write the autosave file
%1
Writing will be retried with every new point of the curve.</translation>
    </message>
    <message>
        <source>Не удалось записать файл автосохранения
%1
Причина: %2
Запись будет повторяться с каждой новой точкой кривой.</source>
        <translation>Could not write the autosave file
%1
Reason: %2
Writing will be retried with every new point of the curve.</translation>
    </message>
</context>
<context>
    <name>CurveFlows</name>
    <message>
        <source>Файлы сохранённых разрядов *.raz</source>
        <translation>Saved discharge files *.raz</translation>
    </message>
    <message>
        <source>Файлы сохранённых зарядов *.zar</source>
        <translation>Saved charge files *.zar</translation>
    </message>
    <message>
        <source>Зарядная кривая - %1</source>
        <translation>Charge curve - %1</translation>
    </message>
    <message>
        <source>Разрядная кривая - %1</source>
        <translation>Discharge curve - %1</translation>
    </message>
    <message>
        <source>Не удалось создать файл с таким именем.</source>
        <translation>Could not create a file with this name.</translation>
    </message>
    <message>
        <source>Не удалось записать файл.
Кривая в файле не сохранена.</source>
        <translation>Could not write the file.
The curve was not saved.</translation>
    </message>
    <message>
        <source>Не удалось записать файл.
Причина: %1
Кривая в файле не сохранена.</source>
        <translation>Could not write the file.
Reason: %1
The curve was not saved.</translation>
    </message>
    <message>
        <source>Безымянный</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>Разряд не начинался.<byte value="xd"/>
В файле сохранять нечего.</source>
        <translation>No run has started.<byte value="xd"/>
There is nothing to save.</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Файл %1 уже существует.
Заменить его?</source>
        <translation>The file %1 already exists.
Replace it?</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Идет заряд!
Загрузка графика невозможна!</source>
        <translation>Charging in progress!
A curve cannot be loaded now!</translation>
    </message>
    <message>
        <source>Идет разряд!
Загрузка графика невозможна!</source>
        <translation>Discharging in progress!
A curve cannot be loaded now!</translation>
    </message>
    <message>
        <source>Не удалось открыть файл.</source>
        <translation>Could not open the file.</translation>
    </message>
    <message>
        <source>Ошибка!</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>Не удалось прочитать кривую из файла.</source>
        <translation>Could not read a curve from the file.</translation>
    </message>
    <message>
        <source>В файле больше точек, чем вмещает график.
Загружено первых точек: %1.</source>
        <translation>The file holds more points than the plot can take.
First points loaded: %1.</translation>
    </message>
</context>
<context>
    <name>CurveGrid</name>
    <message>
        <source>Минуты</source>
        <translation>Minutes</translation>
    </message>
    <message>
        <source>Часы</source>
        <translation>Hours</translation>
    </message>
</context>
<context>
    <name>CurveRenderer</name>
    <message>
        <source>%1ч %2м %3с</source>
        <translation>%1h %2m %3s</translation>
    </message>
    <message>
        <source>%1 В</source>
        <translation>%1 V</translation>
    </message>
</context>
<context>
    <name>Discovery</name>
    <message>
        <source>Нет доступного COM порта</source>
        <translation>No COM port available</translation>
    </message>
    <message>
        <source>Доступный COM порт есть, но модуль не найден</source>
        <translation>A COM port is available, but no module was found</translation>
    </message>
</context>
<context>
    <name>DisplayTexts</name>
    <message>
        <source>Температура:</source>
        <translation>Temperature:</translation>
    </message>
    <message>
        <source>Стоп</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Пуск</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Сброс индикации Rin</source>
        <translation>Clear Rin reading</translation>
    </message>
    <message>
        <source>Замер внутр. сопротивления</source>
        <translation>Measure internal resistance</translation>
    </message>
</context>
<context>
    <name>FadeFigure</name>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Rin</source>
        <translation>Rin</translation>
    </message>
    <message>
        <source>Цикл</source>
        <translation>Cycle</translation>
    </message>
    <message>
        <source>Ёмкость, мАч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>Rin, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>Нет завершённых циклов</source>
        <translation>No cycles completed</translation>
    </message>
    <message>
        <source>Пик dQ/dV</source>
        <translation>dQ/dV peak</translation>
    </message>
    <message>
        <source>Высота пика</source>
        <translation>Peak height</translation>
    </message>
    <message>
        <source>Пик, В</source>
        <translation>Peak, V</translation>
    </message>
    <message>
        <source>мАч/В</source>
        <translation>mAh/V</translation>
    </message>
</context>
<context>
    <name>GradeReport</name>
    <message>
        <source>Ячейка</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>Химия</source>
        <translation>Chemistry</translation>
    </message>
    <message>
        <source>Номинал, мА·ч</source>
        <translation>Nominal, mAh</translation>
    </message>
    <message>
        <source>Ёмкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>Доля, %</source>
        <translation>Share, %</translation>
    </message>
    <message>
        <source>Rвн, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>Саморазряд, мВ/сут</source>
        <translation>Self-discharge, mV/day</translation>
    </message>
    <message>
        <source>Дней хранения</source>
        <translation>Days stored</translation>
    </message>
    <message>
        <source>Сорт</source>
        <translation>Grade</translation>
    </message>
    <message>
        <source>Правило</source>
        <translation>Rule</translation>
    </message>
    <message>
        <source>Страница %1 из %2</source>
        <translation>Page %1 of %2</translation>
    </message>
    <message>
        <source>Ячеек</source>
        <translation>Cells</translation>
    </message>
    <message>
        <source>Доля</source>
        <translation>Share</translation>
    </message>
    <message>
        <source>всего</source>
        <translation>total</translation>
    </message>
    <message>
        <source>без сорта</source>
        <translation>no grade</translation>
    </message>
    <message>
        <source>на графике %1, не измерено %2</source>
        <translation>%1 shown, %2 not measured</translation>
    </message>
    <message>
        <source>ячеек</source>
        <translation>cells</translation>
    </message>
    <message>
        <source>нет измеренных ячеек</source>
        <translation>no cell measured</translation>
    </message>
    <message>
        <source>Отчёт о сортировке ячеек</source>
        <translation>Cell grading report</translation>
    </message>
    <message>
        <source>Журнал: %1</source>
        <translation>Journal: %1</translation>
    </message>
    <message>
        <source>Составлен: %1</source>
        <translation>Compiled: %1</translation>
    </message>
    <message>
        <source>Только сорт %1</source>
        <translation>Grade %1 only</translation>
    </message>
    <message>
        <source>Ёмкость относительно номинала</source>
        <translation>Capacity against the nominal</translation>
    </message>
    <message>
        <source>ёмкость, % номинала</source>
        <translation>capacity, % of nominal</translation>
    </message>
    <message>
        <source>Внутреннее сопротивление</source>
        <translation>Internal resistance</translation>
    </message>
    <message>
        <source>Саморазряд</source>
        <translation>Self-discharge</translation>
    </message>
    <message>
        <source>саморазряд, мВ/сут</source>
        <translation>self-discharge, mV/day</translation>
    </message>
    <message>
        <source>отчёт не удалось составить</source>
        <translation>the report could not be drawn</translation>
    </message>
    <message>
        <source>это папка или устройство, а не файл</source>
        <translation>a folder or a device, not a file</translation>
    </message>
    <message>
        <source>запись не удалась</source>
        <translation>writing failed</translation>
    </message>
</context>
<context>
    <name>Grading</name>
    <message>
        <source>свинец</source>
        <translation>lead</translation>
    </message>
    <message>
        <source>другая</source>
        <translation>other</translation>
    </message>
    <message>
        <source>доли ёмкости должны идти A ≥ B ≥ C</source>
        <translation>the capacity shares must run A ≥ B ≥ C</translation>
    </message>
    <message>
        <source>Rin %1 мОм &gt; %2</source>
        <translation>Rin %1 mΩ &gt; %2</translation>
    </message>
    <message>
        <source>саморазряд %1 мВ/сут &gt; %2</source>
        <translation>self-discharge %1 mV/day &gt; %2</translation>
    </message>
    <message>
        <source>ёмкость %1 % ≥ %2</source>
        <translation>capacity %1 % ≥ %2</translation>
    </message>
    <message>
        <source>ёмкость %1 % &lt; %2</source>
        <translation>capacity %1 % &lt; %2</translation>
    </message>
    <message>
        <source>брак</source>
        <translation>reject</translation>
    </message>
</context>
<context>
    <name>JournalRecorder</name>
    <message>
        <source>Журнал испытаний %1 не записывается: %2.
Показания ждут в памяти, запись будет повторена.</source>
        <translation>The run journal %1 cannot be written: %2.
The readings wait in memory; writing will be retried.</translation>
    </message>
    <message>
        <source>Журнал испытаний %1 давно не записывается: самые старые показания, ждавшие записи, отброшены.</source>
        <translation>The run journal %1 has not been written for a long time: the oldest readings waiting to be written were dropped.</translation>
    </message>
</context>
<context>
    <name>LabelSheet</name>
    <message>
        <source>%1 мА·ч</source>
        <translation>%1 mAh</translation>
    </message>
    <message>
        <source>емкость не измерена</source>
        <translation>capacity not measured</translation>
    </message>
    <message>
        <source>Rвн %1 мОм</source>
        <translation>Rin %1 mΩ</translation>
    </message>
    <message>
        <source>Rвн не измерено</source>
        <translation>Rin not measured</translation>
    </message>
    <message>
        <source>испытана %1</source>
        <translation>tested %1</translation>
    </message>
    <message>
        <source>не испытана</source>
        <translation>not tested</translation>
    </message>
    <message>
        <source>Этикетки ячеек</source>
        <translation>Cell labels</translation>
    </message>
    <message>
        <source>сорт %1</source>
        <translation>grade %1</translation>
    </message>
</context>
<context>
    <name>MqttPublisher</name>
    <message>
        <source>соединение отвергнуто</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>брокер не принял имя или пароль</source>
        <translation>the broker did not accept the user name or password</translation>
    </message>
    <message>
        <source>брокер отверг имя клиента</source>
        <translation>the broker rejected the client id</translation>
    </message>
    <message>
        <source>брокер недоступен</source>
        <translation>the broker is unavailable</translation>
    </message>
    <message>
        <source>брокер отказал в подключении</source>
        <translation>the broker refused the connection</translation>
    </message>
    <message>
        <source>узел не найден</source>
        <translation>host not found</translation>
    </message>
    <message>
        <source>ошибка TLS: сертификат брокера не принят</source>
        <translation>TLS error: the broker&apos;s certificate was not accepted</translation>
    </message>
    <message>
        <source>брокер не отвечает</source>
        <translation>the broker does not answer</translation>
    </message>
    <message>
        <source>соединение разорвано</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>узел недоступен</source>
        <translation>host unreachable</translation>
    </message>
    <message>
        <source>MQTT: клиент не создан (%1)</source>
        <translation>MQTT: client not created (%1)</translation>
    </message>
    <message>
        <source>MQTT: подключение к %1…</source>
        <translation>MQTT: connecting to %1…</translation>
    </message>
    <message>
        <source>MQTT: подключено к %1</source>
        <translation>MQTT: connected to %1</translation>
    </message>
    <message>
        <source>MQTT: сообщение в тему «%1» не принято (%2)</source>
        <translation>MQTT: a message to the topic &quot;%1&quot; was refused (%2)</translation>
    </message>
    <message>
        <source>MQTT: нет связи с %1 (%2), новая попытка через %3 с</source>
        <translation>MQTT: no connection to %1 (%2), next attempt in %3 s</translation>
    </message>
    <message>
        <source>MQTT: ждёт, когда найдётся модуль (темы по его порту)</source>
        <translation>MQTT: waiting for the module (topics follow its port)</translation>
    </message>
    <message>
        <source>MQTT: отключено</source>
        <translation>MQTT: off</translation>
    </message>
</context>
<context>
    <name>MqttSettings</name>
    <message>
        <source>mqtt://[имя@]узел[:порт] или mqtts://[имя@]узел[:порт]</source>
        <translation>mqtt://[user@]host[:port] or mqtts://[user@]host[:port]</translation>
    </message>
    <message>
        <source>Неверный адрес брокера MQTT: </source>
        <translation>Invalid MQTT broker address: </translation>
    </message>
    <message>
        <source>адрес пуст; ожидается </source>
        <translation>the address is empty; expected </translation>
    </message>
    <message>
        <source>ожидается </source>
        <translation>expected </translation>
    </message>
    <message>
        <source>схема «%1» не поддерживается; ожидается </source>
        <translation>scheme &quot;%1&quot; is not supported; expected </translation>
    </message>
    <message>
        <source>пробел в адресе</source>
        <translation>a space in the address</translation>
    </message>
    <message>
        <source>путь, запрос или фрагмент после узла не поддерживаются (темы задаёт --mqtt-prefix)</source>
        <translation>a path, query or fragment after the host is not supported (--mqtt-prefix sets the topics)</translation>
    </message>
    <message>
        <source>пароль в адресе не принимается; задайте его в переменной окружения </source>
        <translation>a password in the address is not accepted; set it in the environment variable </translation>
    </message>
    <message>
        <source>пустое имя пользователя перед «@»</source>
        <translation>empty user name before &quot;@&quot;</translation>
    </message>
    <message>
        <source>адрес IPv6 не закрыт скобкой «]»</source>
        <translation>the IPv6 address is not closed with &quot;]&quot;</translation>
    </message>
    <message>
        <source>после адреса IPv6 ожидается «:порт»</source>
        <translation>&quot;:port&quot; expected after the IPv6 address</translation>
    </message>
    <message>
        <source>в скобках не адрес IPv6</source>
        <translation>no IPv6 address in the brackets</translation>
    </message>
    <message>
        <source>адрес IPv6 пишется в скобках: mqtt://[::1]:1883</source>
        <translation>an IPv6 address goes in brackets: mqtt://[::1]:1883</translation>
    </message>
    <message>
        <source>не указан узел; ожидается </source>
        <translation>no host given; expected </translation>
    </message>
    <message>
        <source>недопустимый знак «%1» в имени узла</source>
        <translation>invalid character &quot;%1&quot; in the host name</translation>
    </message>
    <message>
        <source>имя узла длиннее 253 знаков</source>
        <translation>host name longer than 253 characters</translation>
    </message>
    <message>
        <source>после «:» нет номера порта</source>
        <translation>no port number after &quot;:&quot;</translation>
    </message>
    <message>
        <source>номер порта не число</source>
        <translation>the port number is not a number</translation>
    </message>
    <message>
        <source>номер порта вне пределов 1…65535</source>
        <translation>port number outside 1…65535</translation>
    </message>
    <message>
        <source>Задана переменная окружения %1, но в адресе брокера MQTT нет имени пользователя (mqtt://имя@узел)</source>
        <translation>The environment variable %1 is set, but the MQTT broker address has no user name (mqtt://user@host)</translation>
    </message>
</context>
<context>
    <name>MqttTopics</name>
    <message>
        <source>Неверный префикс тем MQTT: </source>
        <translation>Invalid MQTT topic prefix: </translation>
    </message>
    <message>
        <source>префикс пуст</source>
        <translation>the prefix is empty</translation>
    </message>
    <message>
        <source>знаки «+» и «#» в имени темы недопустимы</source>
        <translation>the characters &quot;+&quot; and &quot;#&quot; are not allowed in a topic name</translation>
    </message>
    <message>
        <source>нулевой знак в имени темы недопустим</source>
        <translation>a null character is not allowed in a topic name</translation>
    </message>
    <message>
        <source>управляющие знаки и несимволы Юникода в имени темы недопустимы</source>
        <translation>control characters and Unicode noncharacters are not allowed in a topic name</translation>
    </message>
    <message>
        <source>темы на «$» принадлежат брокеру</source>
        <translation>topics starting with &quot;$&quot; belong to the broker</translation>
    </message>
    <message>
        <source>префикс слишком длинный</source>
        <translation>the prefix is too long</translation>
    </message>
</context>
<context>
    <name>ParamTable</name>
    <message>
        <source>Номер должен быть в диапазоне от 1 до 8</source>
        <translation>The number must be from 1 to 8</translation>
    </message>
    <message>
        <source>Число должно быть в диапазоне 0 или 1</source>
        <translation>The number must be 0 or 1</translation>
    </message>
    <message>
        <source>Номер задания напряжения отсечки</source>
        <translation>Cut-off voltage preset number</translation>
    </message>
    <message>
        <source>Напряжение отсечки</source>
        <translation>Cut-off voltage</translation>
    </message>
    <message>
        <source>Номер задания тока</source>
        <translation>Current preset number</translation>
    </message>
    <message>
        <source>Задание тока</source>
        <translation>Current setting</translation>
    </message>
    <message>
        <source>Режим работы - разряд (0) / заряд (1)</source>
        <translation>Mode - discharge (0) / charge (1)</translation>
    </message>
    <message>
        <source>Калибровочный коэф. АЦП по напряжению</source>
        <translation>ADC voltage calibration factor</translation>
    </message>
    <message>
        <source>Калибровочный коэффициент АЦП по току</source>
        <translation>ADC current calibration factor</translation>
    </message>
    <message>
        <source>Коррекция задания тока</source>
        <translation>Current setting correction</translation>
    </message>
    <message>
        <source>Число должно быть в диапазоне от 0 до 30</source>
        <translation>The number must be from 0 to 30</translation>
    </message>
    <message>
        <source>Разряд при постоянном напряжения отсечки</source>
        <translation>Discharge at constant cut-off voltage</translation>
    </message>
    <message>
        <source>Автоматическая коррекция ЦАП</source>
        <translation>Automatic DAC correction</translation>
    </message>
    <message>
        <source>Температура включения кулера</source>
        <translation>Cooler switch-on temperature</translation>
    </message>
    <message>
        <source>Число должно быть в диапазоне 20 до 70</source>
        <translation>The number must be from 20 to 70</translation>
    </message>
    <message>
        <source>Температура аварийного отключения</source>
        <translation>Emergency shutdown temperature</translation>
    </message>
    <message>
        <source>Число должно быть в диапазоне 30 до 100</source>
        <translation>The number must be from 30 to 100</translation>
    </message>
</context>
<context>
    <name>PrintLabels</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Выберите ячейки для этикеток.</source>
        <translation>Select the cells to label.</translation>
    </message>
    <message>
        <source>Эта сборка программы не рисует QR-коды: этикеток нет.</source>
        <translation>This build of the program draws no QR codes: no labels.</translation>
    </message>
    <message>
        <source>Файлы PDF *.pdf</source>
        <translation>PDF files *.pdf</translation>
    </message>
    <message>
        <source>Этикетки нельзя записать поверх журнала.</source>
        <translation>The labels cannot be written over the journal.</translation>
    </message>
    <message>
        <source>Не удалось прочитать ячейки из журнала.
Причина: %1</source>
        <translation>Could not read the cells from the journal.
Reason: %1</translation>
    </message>
    <message>
        <source>В журнале нет ячейки %1.</source>
        <translation>There is no cell %1 in the journal.</translation>
    </message>
    <message>
        <source>Не удалось записать файл %1.
Причина: %2</source>
        <translation>Could not write the file %1.
Reason: %2</translation>
    </message>
</context>
<context>
    <name>ProgramFile</name>
    <message>
        <source>Программа испытаний (*.json)</source>
        <translation>Test program (*.json)</translation>
    </message>
    <message>
        <source>Файл программы не прочитан:
%1</source>
        <translation>The program file could not be read:
%1</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>RunSleepGuard</name>
    <message>
        <source>Идет разряд или заряд аккумулятора</source>
        <translation>A battery is being discharged or charged</translation>
    </message>
</context>
<context>
    <name>Templates</name>
    <message>
        <source>Brimvolt - Измеритель емкости (Версия 6.3 Моя)</source>
        <translation>Brimvolt - Capacity Meter (Version 6.3 My)</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Пуск</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Сброс</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>COM порт</source>
        <translation>COM port</translation>
    </message>
    <message>
        <source>Новое значение параметра</source>
        <translation>New parameter value</translation>
    </message>
    <message>
        <source>Замер внутр. сопротивления</source>
        <translation>Measure internal resistance</translation>
    </message>
    <message>
        <source>Оперативные параметры</source>
        <translation>Operating parameters</translation>
    </message>
    <message>
        <source>Параметры режимов работы и калибровки</source>
        <translation>Mode and calibration parameters</translation>
    </message>
    <message>
        <source>Записать время и емкость</source>
        <translation>Write time and capacity</translation>
    </message>
    <message>
        <source>Сброс аварийного отключения</source>
        <translation>Reset emergency shutdown</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Brimvolt - Измеритель емкости аккумуляторов</source>
        <translation>Brimvolt - Battery Capacity Meter</translation>
    </message>
    <message>
        <source>Версия 6.3 Моя</source>
        <translation>Version 6.3 My</translation>
    </message>
    <message>
        <source>Разрядная кривая</source>
        <translation>Discharge curve</translation>
    </message>
    <message>
        <source>О программе...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>Показать / скрыть график</source>
        <translation>Show / hide plot</translation>
    </message>
    <message>
        <source>Журнал испытаний</source>
        <translation>Run journal</translation>
    </message>
    <message>
        <source>Программа</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Программа испытаний</source>
        <translation>Test program</translation>
    </message>
    <message>
        <source>Проверить напряжение</source>
        <translation>Check voltage</translation>
    </message>
</context>
<context>
    <name>TestProgram</name>
    <message>
        <source>Ёмкость: заряд, отдых 30 мин, разряд, отдых 30 мин, заряд</source>
        <translation>Capacity: charge, rest 30 min, discharge, rest 30 min, charge</translation>
    </message>
    <message>
        <source>Циклы: %1 × (заряд, отдых, разряд, отдых)</source>
        <translation>Cycles: %1 × (charge, rest, discharge, rest)</translation>
    </message>
</context>
<context>
    <name>TileLook</name>
    <message>
        <source>Поиск модуля</source>
        <translation>Searching for module</translation>
    </message>
    <message>
        <source>Ожидание</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Отдых</source>
        <translation>Rest</translation>
    </message>
    <message>
        <source>Шаг %1 из %2</source>
        <translation>Step %1 of %2</translation>
    </message>
    <message>
        <source>Программа</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>Нет связи</source>
        <translation>No link</translation>
    </message>
    <message>
        <source>Неисправность</source>
        <translation>Fault</translation>
    </message>
    <message>
        <source>Ячейка: %1</source>
        <translation>Cell: %1</translation>
    </message>
    <message>
        <source>Шаг %1 из %2, в шаге %3</source>
        <translation>Step %1 of %2, %3 in step</translation>
    </message>
    <message>
        <source>Программа ждёт модуль</source>
        <translation>Program waits for the module</translation>
    </message>
    <message>
        <source>канал %1</source>
        <translation>channel %1</translation>
    </message>
    <message>
        <source>программа</source>
        <translation>program</translation>
    </message>
    <message>
        <source>заряд</source>
        <translation>charge</translation>
    </message>
    <message>
        <source>разряд</source>
        <translation>discharge</translation>
    </message>
    <message>
        <source>Проверка напряжения</source>
        <translation>Voltage check</translation>
    </message>
</context>
<context>
    <name>brimvolt::CCellTableModel</name>
    <message>
        <source>годная</source>
        <translation>good</translation>
    </message>
    <message>
        <source>слабая</source>
        <translation>weak</translation>
    </message>
    <message>
        <source>списана</source>
        <translation>retired</translation>
    </message>
    <message>
        <source>не испытана</source>
        <translation>not tested</translation>
    </message>
    <message>
        <source>Ячейка</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>Испытаний</source>
        <translation>Runs</translation>
    </message>
    <message>
        <source>Номинал, мА·ч</source>
        <translation>Nominal, mAh</translation>
    </message>
    <message>
        <source>Емкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>% номинала</source>
        <translation>% of nominal</translation>
    </message>
    <message>
        <source>Первая, мА·ч</source>
        <translation>First, mAh</translation>
    </message>
    <message>
        <source>Спад, %</source>
        <translation>Fade, %</translation>
    </message>
    <message>
        <source>Энергия, Вт·ч</source>
        <translation>Energy, Wh</translation>
    </message>
    <message>
        <source>U ср., В</source>
        <translation>U avg, V</translation>
    </message>
    <message>
        <source>Rвн, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>t макс., °C</source>
        <translation>t max, °C</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>%1, %2 мВ</source>
        <translation>%1, %2 mV</translation>
    </message>
    <message>
        <source>не проверена после заряда</source>
        <translation>not checked since charge</translation>
    </message>
    <message>
        <source>одна проверка</source>
        <translation>one check</translation>
    </message>
    <message>
        <source>Заряжена и с тех пор не проверена: хранение начнётся с первой проверки</source>
        <translation>Charged and not checked since: the storage begins with the first check</translation>
    </message>
    <message>
        <source>Хранение начато проверкой %1; саморазряд даст следующая</source>
        <translation>Storage begun by the check of %1; the next check gives the self-discharge</translation>
    </message>
    <message>
        <source>Первая проверка: %1
последняя: %2
потеряно %3 мВ</source>
        <translation>First check: %1
latest: %2
lost %3 mV</translation>
    </message>
    <message>
        <source>Сорт не дан: нет разряда с известным номиналом</source>
        <translation>No grade: no discharge with a known nominal</translation>
    </message>
    <message>
        <source>Саморазряд не оценён: хранение %1 сут &lt; %2</source>
        <translation>Self-discharge not judged: storage %1 days &lt; %2</translation>
    </message>
    <message>
        <source>Саморазряд, мВ/сут</source>
        <translation>Self-discharge, mV/day</translation>
    </message>
    <message>
        <source>Дней хранения</source>
        <translation>Days stored</translation>
    </message>
    <message>
        <source>Сорт</source>
        <translation>Grade</translation>
    </message>
    <message>
        <source>Правило</source>
        <translation>Rule</translation>
    </message>
</context>
<context>
    <name>brimvolt::CChannel</name>
    <message>
        <source>модуль отключён</source>
        <translation>the module was disconnected</translation>
    </message>
    <message>
        <source>связь с модулем потеряна</source>
        <translation>the link to the module was lost</translation>
    </message>
    <message>
        <source>Модуль не найден: напряжение проверять нечем.</source>
        <translation>No module found: there is nothing to check the voltage with.</translation>
    </message>
    <message>
        <source>Идёт заряд или разряд: проверка напряжения ждёт его конца.</source>
        <translation>A charge or discharge is running: the voltage check waits for its end.</translation>
    </message>
    <message>
        <source>Выполняется программа испытаний: проверка напряжения ждёт её конца.</source>
        <translation>A test program is running: the voltage check waits for its end.</translation>
    </message>
    <message>
        <source>Проверка напряжения ячейки %1 уже идёт.</source>
        <translation>The voltage of cell %1 is being checked already.</translation>
    </message>
    <message>
        <source>Журнал испытаний недоступен: проверку некуда записать.</source>
        <translation>The run journal is not available: the check cannot be recorded.</translation>
    </message>
    <message>
        <source>Не указана ячейка, напряжение которой проверить.</source>
        <translation>No cell is named whose voltage to check.</translation>
    </message>
    <message>
        <source>Проверка напряжения: %1 с из %2</source>
        <translation>Checking voltage: %1 s of %2</translation>
    </message>
    <message>
        <source>начался заряд или разряд</source>
        <translation>a charge or discharge started</translation>
    </message>
    <message>
        <source>начата программа испытаний</source>
        <translation>a test program started</translation>
    </message>
    <message>
        <source>нет ячейки в держателе</source>
        <translation>no cell in the holder</translation>
    </message>
    <message>
        <source>Проверка ячейки %1 прервана: %2</source>
        <translation>Check of cell %1 abandoned: %2</translation>
    </message>
    <message>
        <source>Ячейка %1: %2 В</source>
        <translation>Cell %1: %2 V</translation>
    </message>
    <message>
        <source>Проверка ячейки %1 не записана: %2</source>
        <translation>Check of cell %1 not recorded: %2</translation>
    </message>
</context>
<context>
    <name>brimvolt::CJournalWriter</name>
    <message>
        <source>Журнал испытаний %1 был повреждён (%2).
Он сохранён под именем %3, начат новый журнал.</source>
        <translation>The run journal %1 was damaged (%2).
It was kept as %3, and a new journal was started.</translation>
    </message>
    <message>
        <source>Журнал испытаний %1 записан более новой версией программы и оставлен как есть.
Испытания в журнал не записываются.</source>
        <translation>The run journal %1 was written by a newer version of the program and is left as it is.
Runs are not recorded in the journal.</translation>
    </message>
    <message>
        <source>Файл %1 не является журналом испытаний и оставлен как есть.
Испытания в журнал не записываются.</source>
        <translation>The file %1 is not a run journal and is left as it is.
Runs are not recorded in the journal.</translation>
    </message>
    <message>
        <source>Журнал испытаний %1 недоступен: %2.
Испытания продолжаются, запись в журнал будет повторена.</source>
        <translation>The run journal %1 is not available: %2.
The runs go on; writing to the journal will be retried.</translation>
    </message>
    <message>
        <source>журнал испытаний недоступен</source>
        <translation>the run journal is not available</translation>
    </message>
</context>
<context>
    <name>brimvolt::CPackDlg</name>
    <message>
        <source>Сборка батареи</source>
        <translation>Pack building</translation>
    </message>
    <message>
        <source>Что собрать</source>
        <translation>What to build</translation>
    </message>
    <message>
        <source>Групп последовательно и ячеек в группе:</source>
        <translation>Groups in series and cells per group:</translation>
    </message>
    <message>
        <source>любая</source>
        <translation>any</translation>
    </message>
    <message>
        <source>до</source>
        <translation>to</translation>
    </message>
    <message>
        <source>Емкость ячеек от, мА·ч:</source>
        <translation>Cell capacity from, mAh:</translation>
    </message>
    <message>
        <source>любое</source>
        <translation>any</translation>
    </message>
    <message>
        <source>Rвн ячеек до, мОм:</source>
        <translation>Cell Rin up to, mΩ:</translation>
    </message>
    <message>
        <source>без ограничения</source>
        <translation>no limit</translation>
    </message>
    <message>
        <source>Разброс Rвн в группе до, мОм:</source>
        <translation>Rin spread in a group up to, mΩ:</translation>
    </message>
    <message>
        <source>Ячейки без Rвн допускаются</source>
        <translation>Cells without Rin allowed</translation>
    </message>
    <message>
        <source>Подобрать</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>Группа, ячейка</source>
        <translation>Group, cell</translation>
    </message>
    <message>
        <source>Емкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>От среднего, мА·ч</source>
        <translation>From the mean, mAh</translation>
    </message>
    <message>
        <source>Rвн, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>CSV...</source>
        <translation>CSV...</translation>
    </message>
    <message>
        <source>Рисунок PNG...</source>
        <translation>PNG picture...</translation>
    </message>
    <message>
        <source>Рисунок SVG...</source>
        <translation>SVG picture...</translation>
    </message>
    <message>
        <source>Название сборки</source>
        <translation>Pack name</translation>
    </message>
    <message>
        <source>Сохранить сборку</source>
        <translation>Save pack</translation>
    </message>
    <message>
        <source>Сохраненные сборки</source>
        <translation>Saved packs</translation>
    </message>
    <message>
        <source>Освободить ячейки</source>
        <translation>Free the cells</translation>
    </message>
    <message>
        <source>Журнал недоступен: %1</source>
        <translation>Journal unavailable: %1</translation>
    </message>
    <message>
        <source>В журнале пока нет ячеек.</source>
        <translation>No cells in the journal yet.</translation>
    </message>
    <message>
        <source>Не удалось прочитать журнал: %1</source>
        <translation>Could not read the journal: %1</translation>
    </message>
    <message>
        <source>%1: %2S%3P, ячеек %4, %5</source>
        <translation>%1: %2S%3P, %4 cells, %5</translation>
    </message>
    <message>
        <source>Ячеек на выбор: %1</source>
        <translation>Cells to choose from: %1</translation>
    </message>
    <message>
        <source>Подбор...</source>
        <translation>Planning...</translation>
    </message>
    <message>
        <source>Подбор отменяется...</source>
        <translation>Cancelling the planning...</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Подбор отменен.</source>
        <translation>Planning cancelled.</translation>
    </message>
    <message>
        <source>Подбор отменен: это лучшая сборка из найденных до отмены.</source>
        <translation>Planning cancelled: this is the best pack found until then.</translation>
    </message>
    <message>
        <source>Мало ячеек: для %1S%2P нужно %3, подходит %4.</source>
        <translation>Too few cells: %1S%2P needs %3, %4 can be used.</translation>
    </message>
    <message>
        <source>Ячейки не делятся на группы с разбросом Rвн не больше %1 мОм.</source>
        <translation>No grouping keeps the Rin spread of every group within %1 mΩ.</translation>
    </message>
    <message>
        <source>Такую сборку подобрать нельзя: слишком много ячеек.</source>
        <translation>This pack cannot be planned: too many cells.</translation>
    </message>
    <message>
        <source>Ячеек на выбор: %1, в сборке %2, в запасе %3.</source>
        <translation>Cells to choose from: %1, in the pack %2, spares %3.</translation>
    </message>
    <message>
        <source>Группа %1</source>
        <translation>Group %1</translation>
    </message>
    <message>
        <source>Запас</source>
        <translation>Spares</translation>
    </message>
    <message>
        <source>разброс групп %1 мА·ч (%2 %)</source>
        <translation>group spread %1 mAh (%2 %)</translation>
    </message>
    <message>
        <source>Батарея %1S%2P: %3 мА·ч, %4 В, %5 Вт·ч; %6</source>
        <translation>Pack %1S%2P: %3 mAh, %4 V, %5 Wh; %6</translation>
    </message>
    <message>
        <source>Батарея %1S%2P: %3 мА·ч; %4</source>
        <translation>Pack %1S%2P: %3 mAh; %4</translation>
    </message>
    <message>
        <source>Введите название сборки.</source>
        <translation>Enter a name for the pack.</translation>
    </message>
    <message>
        <source>Сборка %1 сохранена, ее ячейки заняты.</source>
        <translation>Pack %1 saved; its cells are taken.</translation>
    </message>
    <message>
        <source>Сборка с названием %1 уже есть в журнале.</source>
        <translation>A pack named %1 is already in the journal.</translation>
    </message>
    <message>
        <source>Ячейка %1 уже в другой сборке или списана. Подберите сборку заново.</source>
        <translation>Cell %1 is already in another pack or retired. Plan the pack again.</translation>
    </message>
    <message>
        <source>Не удалось сохранить сборку в журнале.
Причина: %1</source>
        <translation>Could not save the pack in the journal.
Reason: %1</translation>
    </message>
    <message>
        <source>Освободить ячейки сборки %1 для других сборок? Сборка будет забыта.</source>
        <translation>Free the cells of pack %1 for other packs? The pack will be forgotten.</translation>
    </message>
    <message>
        <source>Не удалось освободить ячейки.
Причина: %1</source>
        <translation>Could not free the cells.
Reason: %1</translation>
    </message>
    <message>
        <source>Не удалось записать файл %1.
Причина: %2</source>
        <translation>Could not write the file %1.
Reason: %2</translation>
    </message>
    <message>
        <source>Внимание!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Файлы CSV *.csv</source>
        <translation>CSV files *.csv</translation>
    </message>
    <message>
        <source>Рисунки SVG *.svg</source>
        <translation>SVG pictures *.svg</translation>
    </message>
    <message>
        <source>Рисунки PNG *.png</source>
        <translation>PNG pictures *.png</translation>
    </message>
    <message>
        <source>любой</source>
        <translation>any</translation>
    </message>
    <message>
        <source>не ниже %1</source>
        <translation>%1 or better</translation>
    </message>
    <message>
        <source>Сорт ячеек:</source>
        <translation>Cell grade:</translation>
    </message>
</context>
<context>
    <name>brimvolt::CProgramRunner</name>
    <message>
        <source>не продолжена: программа в журнале не читается</source>
        <translation>not continued: the program in the journal cannot be read</translation>
    </message>
    <message>
        <source>не продолжена после перезапуска</source>
        <translation>not continued after a restart</translation>
    </message>
    <message>
        <source>Заряд %1 А до %2 В</source>
        <translation>Charge %1 A to %2 V</translation>
    </message>
    <message>
        <source>Разряд %1 А до %2 В</source>
        <translation>Discharge %1 A to %2 V</translation>
    </message>
    <message>
        <source>Отдых %1 мин</source>
        <translation>Rest %1 min</translation>
    </message>
    <message>
        <source>Замер Rin</source>
        <translation>Measure Rin</translation>
    </message>
    <message>
        <source>Повторить с шага %1, всего %2 раза</source>
        <translation>Repeat from step %1, %2 times in all</translation>
    </message>
    <message>
        <source>Повторить с шага %1, всего %2 раз</source>
        <translation>Repeat from step %1, %2 times in all</translation>
    </message>
    <message>
        <source>Ждёт модуль</source>
        <translation>Waiting for the module</translation>
    </message>
    <message>
        <source>Готова к запуску</source>
        <translation>Ready to start</translation>
    </message>
    <message>
        <source>Выполняется</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>Пауза: связь с модулем потеряна</source>
        <translation>Paused: the link to the module is lost</translation>
    </message>
    <message>
        <source>Модуль найден не в том состоянии: «Продолжить» повторит шаг</source>
        <translation>The module was found in another state: &quot;Continue&quot; repeats the step</translation>
    </message>
    <message>
        <source>Завершена</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>Прервана: %1</source>
        <translation>Ended: %1</translation>
    </message>
    <message>
        <source>шаг превысил предельное время</source>
        <translation>a step went past its time limit</translation>
    </message>
    <message>
        <source>модуль сообщил о неисправности</source>
        <translation>the module reported a fault</translation>
    </message>
    <message>
        <source>аварийное отключение по температуре</source>
        <translation>emergency power-off on temperature</translation>
    </message>
    <message>
        <source>модуль не принял параметр %1</source>
        <translation>the module did not take parameter %1</translation>
    </message>
    <message>
        <source>модуль не начал заряд или разряд</source>
        <translation>the module did not start the charge or discharge</translation>
    </message>
    <message>
        <source>модуль не остановился</source>
        <translation>the module did not stop</translation>
    </message>
    <message>
        <source>модуль уже выполнял заряд или разряд</source>
        <translation>the module was already charging or discharging</translation>
    </message>
    <message>
        <source>остановлена оператором</source>
        <translation>stopped by the operator</translation>
    </message>
    <message>
        <source>сброс модуля оператором</source>
        <translation>module reset by the operator</translation>
    </message>
    <message>
        <source>Rin не измерено: модуль сразу остановил разряд, ячейка уже на напряжении отсечки шага</source>
        <translation>Rin not measured: the module stopped the discharge at once, the cell is at the step&apos;s cut-off already</translation>
    </message>
</context>
<context>
    <name>brimvolt::CRunTableModel</name>
    <message>
        <source>Заряд</source>
        <translation>Charge</translation>
    </message>
    <message>
        <source>Разряд</source>
        <translation>Discharge</translation>
    </message>
    <message>
        <source>идет</source>
        <translation>running</translation>
    </message>
    <message>
        <source>завершен</source>
        <translation>finished</translation>
    </message>
    <message>
        <source>прерван</source>
        <translation>interrupted</translation>
    </message>
    <message>
        <source>№%1 от %2</source>
        <translation>Run %1, %2</translation>
    </message>
    <message>
        <source>Начало</source>
        <translation>Started</translation>
    </message>
    <message>
        <source>Порт</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Вид</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Метка</source>
        <translation>Label</translation>
    </message>
    <message>
        <source>Емкость, мА·ч</source>
        <translation>Capacity, mAh</translation>
    </message>
    <message>
        <source>Энергия, Вт·ч</source>
        <translation>Energy, Wh</translation>
    </message>
    <message>
        <source>Длительность</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>U нач., В</source>
        <translation>U start, V</translation>
    </message>
    <message>
        <source>U кон., В</source>
        <translation>U end, V</translation>
    </message>
    <message>
        <source>Rвн, мОм</source>
        <translation>Rin, mΩ</translation>
    </message>
    <message>
        <source>t макс., °C</source>
        <translation>t max, °C</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Примечание</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Ячейка</source>
        <translation>Cell</translation>
    </message>
    <message>
        <source>Отдых</source>
        <translation>Rest</translation>
    </message>
</context>
</TS>
