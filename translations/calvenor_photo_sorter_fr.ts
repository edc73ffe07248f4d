<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AppCommands</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>New Category…</source>
        <translation>Nouvelle catégorie…</translation>
    </message>
    <message>
        <source>Open Folder…</source>
        <translation>Ouvrir un dossier…</translation>
    </message>
    <message>
        <source>Open Recent</source>
        <translation>Ouvrir un dossier récent</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>É&amp;dition</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Rétablir</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Affichage</translation>
    </message>
    <message>
        <source>Sort Mode</source>
        <translation>Mode Tri</translation>
    </message>
    <message>
        <source>Browse Mode</source>
        <translation>Mode Parcourir</translation>
    </message>
    <message>
        <source>Browse Layout</source>
        <translation>Disposition de Parcourir</translation>
    </message>
    <message>
        <source>Sort Photos</source>
        <translation>Trier les photos</translation>
    </message>
    <message>
        <source>Keep Companions Together</source>
        <translation>Garder les fichiers associés ensemble</translation>
    </message>
    <message>
        <source>Larger Thumbnails</source>
        <translation>Vignettes plus grandes</translation>
    </message>
    <message>
        <source>Smaller Thumbnails</source>
        <translation>Vignettes plus petites</translation>
    </message>
    <message>
        <source>&amp;Photo</source>
        <translation>&amp;Photo</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Quick Look</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Reveal in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Move to</source>
        <translation>Déplacer vers</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>Mettre à la corbeille</translation>
    </message>
    <message>
        <source>No Recent Folders</source>
        <translation>Aucun dossier récent</translation>
    </message>
    <message>
        <source>Clear Menu</source>
        <translation>Effacer le menu</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
</context>
<context>
    <name>BrowseListModel</name>
    <message>
        <source>Photo</source>
        <translation>Photo</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Category</source>
        <translation>Catégorie</translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation>Date de modification</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Dimensions</source>
        <translation>Dimensions</translation>
    </message>
    <message>
        <source>Date Taken</source>
        <translation>Date de prise de vue</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Durée</translation>
    </message>
</context>
<context>
    <name>BrowseView</name>
    <message>
        <source>Scroll categories left</source>
        <translation>Faire défiler les catégories vers la gauche</translation>
    </message>
    <message>
        <source>Scroll categories right</source>
        <translation>Faire défiler les catégories vers la droite</translation>
    </message>
    <message>
        <source>%1, 1 photo</source>
        <translation>%1, 1 photo</translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln photos</source>
        <translation>
            <numerusform>%1, %Ln photo</numerusform>
            <numerusform>%1, %Ln photos</numerusform>
        </translation>
    </message>
    <message>
        <source>All</source>
        <translation>Toutes</translation>
    </message>
    <message>
        <source>No photos in this category</source>
        <translation>Aucune photo dans cette catégorie</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Doublons</translation>
    </message>
    <message>
        <source>No duplicates found</source>
        <translation>Aucun doublon trouvé</translation>
    </message>
</context>
<context>
    <name>CategoryNameSheet</name>
    <message>
        <source>This is the folder name on disk.</source>
        <translation>C’est le nom du dossier sur le disque.</translation>
    </message>
    <message>
        <source>Category name</source>
        <translation>Nom de la catégorie</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
</context>
<context>
    <name>CollectionStore</name>
    <message>
        <source>Open a Photo Collection</source>
        <translation>Ouvrir une collection de photos</translation>
    </message>
    <message>
        <source>Choose a folder. Its first-level folders become categories.</source>
        <translation>Choisissez un dossier. Ses sous-dossiers deviennent les catégories.</translation>
    </message>
    <message>
        <source>Open Collection</source>
        <translation>Ouvrir la collection</translation>
    </message>
    <message>
        <source>Couldn’t Open Recent Folder</source>
        <translation>Impossible d’ouvrir le dossier récent</translation>
    </message>
    <message>
        <source>Couldn’t Reopen Folder</source>
        <translation>Impossible de rouvrir le dossier</translation>
    </message>
    <message>
        <source>Reading %1</source>
        <translation>Lecture de %1</translation>
    </message>
    <message>
        <source>Couldn’t Open Folder</source>
        <translation>Impossible d’ouvrir le dossier</translation>
    </message>
    <message>
        <source>Folder Opened, but Access Couldn’t Be Saved</source>
        <translation>Dossier ouvert, mais l’accès n’a pas pu être enregistré</translation>
    </message>
    <message>
        <source>Couldn’t Refresh Folder</source>
        <translation>Impossible d’actualiser le dossier</translation>
    </message>
    <message>
        <source>New Category</source>
        <translation>Nouvelle catégorie</translation>
    </message>
    <message>
        <source>Create</source>
        <translation>Créer</translation>
    </message>
    <message>
        <source>Rename Category</source>
        <translation>Renommer la catégorie</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Renommer</translation>
    </message>
    <message>
        <source>Couldn’t Create Category</source>
        <translation>Impossible de créer la catégorie</translation>
    </message>
    <message>
        <source>Created %1</source>
        <translation>«&#xa0;%1&#xa0;» créée</translation>
    </message>
    <message>
        <source>Couldn’t Redo New Category</source>
        <translation>Impossible de rétablir la nouvelle catégorie</translation>
    </message>
    <message>
        <source>Couldn’t Undo New Category</source>
        <translation>Impossible d’annuler la nouvelle catégorie</translation>
    </message>
    <message>
        <source>Couldn’t Rename Category</source>
        <translation>Impossible de renommer la catégorie</translation>
    </message>
    <message>
        <source>Renamed to %1</source>
        <translation>Renommée en «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Couldn’t Delete Category</source>
        <translation>Impossible de supprimer la catégorie</translation>
    </message>
    <message>
        <source>Deleted %1</source>
        <translation>«&#xa0;%1&#xa0;» supprimée</translation>
    </message>
    <message>
        <source>Couldn’t Redo Delete Category</source>
        <translation>Impossible de rétablir la suppression de la catégorie</translation>
    </message>
    <message>
        <source>Couldn’t Undo Delete Category</source>
        <translation>Impossible d’annuler la suppression de la catégorie</translation>
    </message>
    <message>
        <source>No category %1</source>
        <translation>Pas de catégorie %1</translation>
    </message>
    <message>
        <source>→ %1</source>
        <translation>→ %1</translation>
    </message>
    <message>
        <source>File into New Category</source>
        <translation>Classer dans une nouvelle catégorie</translation>
    </message>
    <message>
        <source>Couldn’t Move Photos</source>
        <translation>Impossible de déplacer les photos</translation>
    </message>
    <message>
        <source>Couldn’t Move to Trash</source>
        <translation>Impossible de mettre à la corbeille</translation>
    </message>
    <message>
        <source>Moved to Trash</source>
        <translation>Mise à la corbeille</translation>
    </message>
    <message numerus="yes">
        <source>Moved %Ln to Trash</source>
        <translation>
            <numerusform>%Ln mise à la corbeille</numerusform>
            <numerusform>%Ln mises à la corbeille</numerusform>
        </translation>
    </message>
    <message>
        <source>Couldn’t Copy Photos</source>
        <translation>Impossible de copier les photos</translation>
    </message>
    <message>
        <source>Copied to %1</source>
        <translation>Copiées dans «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Couldn’t Complete %1</source>
        <translation>Impossible de terminer&#xa0;: %1</translation>
    </message>
    <message>
        <source>Move Photo</source>
        <translation>Déplacer la photo</translation>
    </message>
    <message>
        <source>Move Photos</source>
        <translation>Déplacer les photos</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>Mettre à la corbeille</translation>
    </message>
    <message>
        <source>Copy Photo</source>
        <translation>Copier la photo</translation>
    </message>
    <message>
        <source>Copy Photos</source>
        <translation>Copier les photos</translation>
    </message>
    <message>
        <source>Delete Category</source>
        <translation>Supprimer la catégorie</translation>
    </message>
    <message>
        <source>Reading folder</source>
        <translation>Lecture du dossier</translation>
    </message>
    <message>
        <source>Folder No Longer Available</source>
        <translation>Le dossier n’est plus accessible</translation>
    </message>
    <message>
        <source>“%1” can’t be reached any more: the disk or share it is on was removed or stopped answering. Nothing was lost: reconnect it and open the folder again, and any change it cut off will be put back.</source>
        <translation>«&#xa0;%1&#xa0;» n’est plus accessible&#xa0;: le disque ou le partage qui le contient a été retiré ou ne répond plus. Rien n’a été perdu&#xa0;: reconnectez-le et rouvrez le dossier, et ce qu’une opération interrompue avait déplacé sera remis en place.</translation>
    </message>
</context>
<context>
    <name>CollectionWorkspace</name>
    <message>
        <source>Switch between Sort and Browse</source>
        <translation>Passer de Tri à Parcourir</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Browse layout</source>
        <translation>Disposition de Parcourir</translation>
    </message>
    <message>
        <source>New Category</source>
        <translation>Nouvelle catégorie</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>photo</source>
        <translation>photo</translation>
    </message>
    <message numerus="yes">
        <source>photos</source>
        <translation>
            <numerusform>photo</numerusform>
            <numerusform>photos</numerusform>
        </translation>
    </message>
    <message>
        <source>category</source>
        <translation>catégorie</translation>
    </message>
    <message numerus="yes">
        <source>categories</source>
        <translation>
            <numerusform>catégorie</numerusform>
            <numerusform>catégories</numerusform>
        </translation>
    </message>
    <message>
        <source>1 folder can’t be read: </source>
        <translation>1 dossier illisible&#xa0;: </translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders can’t be read: </source>
        <translation>
            <numerusform>%Ln dossier illisible&#xa0;: </numerusform>
            <numerusform>%Ln dossiers illisibles&#xa0;: </numerusform>
        </translation>
    </message>
    <message>
        <source>A–Z FILE BY NAME</source>
        <translation>A–Z CLASSER PAR NOM</translation>
    </message>
    <message>
        <source>Thumbnail size</source>
        <translation>Taille des vignettes</translation>
    </message>
    <message numerus="yes">
        <source>%Ln selected</source>
        <translation>
            <numerusform>%Ln sélectionnée</numerusform>
            <numerusform>%Ln sélectionnées</numerusform>
        </translation>
    </message>
    <message>
        <source>No selection</source>
        <translation>Aucune sélection</translation>
    </message>
    <message>
        <source>0 UNSORTED</source>
        <translation>0 NON TRIÉES</translation>
    </message>
    <message>
        <source>SPACE PREVIEW</source>
        <translation>ESPACE APERÇU</translation>
    </message>
    <message>
        <source>DEL TRASH</source>
        <translation>SUPPR CORBEILLE</translation>
    </message>
    <message>
        <source>1–9 FILE</source>
        <translation>1–9 CLASSER</translation>
    </message>
    <message>
        <source>Read-only</source>
        <translation>Lecture seule</translation>
    </message>
    <message>
        <source>Removable disk</source>
        <translation>Disque amovible</translation>
    </message>
    <message>
        <source>Network share</source>
        <translation>Partage réseau</translation>
    </message>
    <message>
        <source>FUSE mount</source>
        <translation>Montage FUSE</translation>
    </message>
</context>
<context>
    <name>FileIntoField</name>
    <message>
        <source>File into…</source>
        <translation>Classer dans…</translation>
    </message>
    <message>
        <source>File into</source>
        <translation>Classer dans</translation>
    </message>
    <message>
        <source>Return: create “%1” and file into it</source>
        <translation>Entrée&#xa0;: créer «&#xa0;%1&#xa0;» et y classer</translation>
    </message>
</context>
<context>
    <name>FileSystem</name>
    <message>
        <source>Couldn’t create the folder “%1”.</source>
        <translation>Impossible de créer le dossier «&#xa0;%1&#xa0;».</translation>
    </message>
    <message>
        <source>Couldn’t write “%1”.</source>
        <translation>Impossible d’écrire «&#xa0;%1&#xa0;».</translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation>«&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 n’est pas un dossier.</translation>
    </message>
    <message>
        <source>A category named %1 already exists.</source>
        <translation>Une catégorie nommée %1 existe déjà.</translation>
    </message>
    <message>
        <source>%1 contains another folder. Move that folder elsewhere before deleting the category.</source>
        <translation>%1 contient un autre dossier. Déplacez ce dossier ailleurs avant de supprimer la catégorie.</translation>
    </message>
    <message>
        <source>Category names cannot be empty, hidden, or contain “/” or “:”.</source>
        <translation>Un nom de catégorie ne peut pas être vide, caché, ni contenir «&#xa0;/&#xa0;» ou «&#xa0;:&#xa0;».</translation>
    </message>
    <message>
        <source>The folder %1 doesn’t exist.</source>
        <translation>Le dossier %1 n’existe pas.</translation>
    </message>
    <message>
        <source>%1 couldn’t be moved to the trash.</source>
        <translation>%1 n’a pas pu être mis à la corbeille.</translation>
    </message>
    <message>
        <source>The operation was cancelled.</source>
        <translation>L’opération a été annulée.</translation>
    </message>
    <message>
        <source>%1: %2.</source>
        <translation>%1&#xa0;: %2.</translation>
    </message>
    <message>
        <source>The folder %1 can’t be found.</source>
        <translation>Le dossier %1 est introuvable.</translation>
    </message>
    <message>
        <source>“%1” can’t be remembered because it isn’t a folder on this computer.</source>
        <translation>«&#xa0;%1&#xa0;» ne peut pas être mémorisé, car ce n’est pas un dossier de cet ordinateur.</translation>
    </message>
    <message>
        <source>%1 holds an item whose name can’t be read. Rename or remove it in a file manager first</source>
        <translation>%1 contient un élément dont le nom est illisible. Renommez-le ou retirez-le d’abord dans un gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>%1 is no longer in the trash</source>
        <translation>%1 n’est plus dans la corbeille</translation>
    </message>
    <message>
        <source>%1 is no longer where it was moved</source>
        <translation>%1 n’est plus là où il a été déplacé</translation>
    </message>
    <message>
        <source>%1 is a different file now, so it was left alone</source>
        <translation>%1 est désormais un autre fichier&#xa0;; il n’a pas été touché</translation>
    </message>
    <message>
        <source>Unsorted</source>
        <translation>Non triées</translation>
    </message>
    <message>
        <source>The last session ended in the middle of a change</source>
        <translation>La dernière session s’est interrompue au milieu d’une modification</translation>
    </message>
    <message>
        <source>1 photo file was put back where it was</source>
        <translation>1 fichier photo a été remis à sa place</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo files were put back where they were</source>
        <translation>
            <numerusform>%Ln fichier photo a été remis à sa place</numerusform>
            <numerusform>%Ln fichiers photo ont été remis à leur place</numerusform>
        </translation>
    </message>
    <message>
        <source>left as found: %1</source>
        <translation>laissés tels quels&#xa0;: %1</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1.</translation>
    </message>
    <message>
        <source>Couldn’t write the undo journal</source>
        <translation>Impossible d’écrire le journal d’annulation</translation>
    </message>
    <message>
        <source>This folder is open in another Calvenor Photo Sorter window. Close it there first.</source>
        <translation>Ce dossier est ouvert dans une autre fenêtre de Calvenor Photo Sorter. Fermez-le d’abord là-bas.</translation>
    </message>
    <message>
        <source>Couldn’t read the folder %1</source>
        <translation>Impossible de lire le dossier %1</translation>
    </message>
    <message>
        <source>Couldn’t read %1</source>
        <translation>Impossible de lire %1</translation>
    </message>
    <message>
        <source>%1: another program changed, replaced or removed it while it was being copied, so nothing was deleted and the copy was kept.</source>
        <translation>%1&#xa0;: un autre programme l’a modifié, remplacé ou supprimé pendant la copie&#xa0;; rien n’a été supprimé et la copie a été conservée.</translation>
    </message>
    <message>
        <source>%1: only regular files can be copied.</source>
        <translation>%1&#xa0;: seuls les fichiers ordinaires peuvent être copiés.</translation>
    </message>
    <message>
        <source>Couldn’t move %1</source>
        <translation>Impossible de déplacer %1</translation>
    </message>
    <message>
        <source>Couldn’t copy %1</source>
        <translation>Impossible de copier %1</translation>
    </message>
    <message>
        <source>Couldn’t create the folder %1</source>
        <translation>Impossible de créer le dossier %1</translation>
    </message>
    <message>
        <source>Couldn’t delete %1</source>
        <translation>Impossible de supprimer %1</translation>
    </message>
    <message>
        <source>Couldn’t remove the folder %1</source>
        <translation>Impossible de retirer le dossier %1</translation>
    </message>
    <message>
        <source>Couldn’t move %1 to the trash</source>
        <translation>Impossible de mettre %1 à la corbeille</translation>
    </message>
    <message>
        <source>It is no longer there</source>
        <translation>Il n’est plus là</translation>
    </message>
    <message>
        <source>You don’t have permission</source>
        <translation>Vous n’en avez pas l’autorisation</translation>
    </message>
    <message>
        <source>The disk is full</source>
        <translation>Le disque est plein</translation>
    </message>
    <message>
        <source>The disk is read-only</source>
        <translation>Le disque est en lecture seule</translation>
    </message>
    <message>
        <source>The disk couldn’t be read or written</source>
        <translation>Le disque n’a pas pu être lu ou écrit</translation>
    </message>
    <message>
        <source>The connection to the disk or network folder was lost</source>
        <translation>La connexion au disque ou au dossier réseau a été perdue</translation>
    </message>
    <message>
        <source>The name has characters this disk can’t store</source>
        <translation>Le nom contient des caractères que ce disque ne peut pas enregistrer</translation>
    </message>
    <message>
        <source>The name is too long for this disk</source>
        <translation>Le nom est trop long pour ce disque</translation>
    </message>
    <message>
        <source>Another program is using it</source>
        <translation>Un autre programme l’utilise</translation>
    </message>
    <message>
        <source>The system is out of resources; close some programs and try again</source>
        <translation>Le système manque de ressources ; fermez quelques programmes et réessayez</translation>
    </message>
    <message>
        <source>Something with that name is already there</source>
        <translation>Un élément de ce nom s’y trouve déjà</translation>
    </message>
    <message>
        <source>A folder on the way is not a folder</source>
        <translation>Un dossier du chemin n’est pas un dossier</translation>
    </message>
    <message>
        <source>It is a folder</source>
        <translation>C’est un dossier</translation>
    </message>
    <message>
        <source>A link on the way leads in a circle</source>
        <translation>Un lien du chemin tourne en rond</translation>
    </message>
    <message>
        <source>This disk doesn’t support the operation</source>
        <translation>Ce disque ne permet pas cette opération</translation>
    </message>
    <message>
        <source>It can’t be moved between these disks</source>
        <translation>Il ne peut pas être déplacé entre ces disques</translation>
    </message>
    <message>
        <source>The file is too large for this disk</source>
        <translation>Le fichier est trop grand pour ce disque</translation>
    </message>
    <message>
        <source>The system reported error %1</source>
        <translation>Le système a signalé l’erreur %1</translation>
    </message>
    <message>
        <source>A name can’t be empty, “.” or “..”.</source>
        <translation>Un nom ne peut pas être vide, «&#xa0;.&#xa0;» ou «&#xa0;..&#xa0;».</translation>
    </message>
    <message>
        <source>A name can’t contain “/”.</source>
        <translation>Un nom ne peut pas contenir «&#xa0;/&#xa0;».</translation>
    </message>
    <message>
        <source>A name can’t contain control characters.</source>
        <translation>Un nom ne peut pas contenir de caractères de contrôle.</translation>
    </message>
    <message>
        <source>Names on this volume can’t contain control characters.</source>
        <translation>Les noms sur ce volume ne peuvent pas contenir de caractères de contrôle.</translation>
    </message>
    <message>
        <source>Names on this volume can’t contain “%1”.</source>
        <translation>Les noms sur ce volume ne peuvent pas contenir «&#xa0;%1&#xa0;».</translation>
    </message>
    <message>
        <source>Names on this volume can’t end with a dot or a space.</source>
        <translation>Les noms sur ce volume ne peuvent pas se terminer par un point ou une espace.</translation>
    </message>
    <message>
        <source>The name is too long for this volume: %1 characters, at most %2.</source>
        <translation>Le nom est trop long pour ce volume&#xa0;: %1 caractères, %2 au plus.</translation>
    </message>
    <message>
        <source>The name is too long for this volume: %1 bytes, at most %2.</source>
        <translation>Le nom est trop long pour ce volume&#xa0;: %1 octets, %2 au plus.</translation>
    </message>
    <message>
        <source>The disk holding %1 has no trash it can be moved to: %2.</source>
        <translation>Le disque qui contient %1 n’a pas de corbeille où le mettre&#xa0;: %2.</translation>
    </message>
</context>
<context>
    <name>FocusInfoLine</name>
    <message>
        <source>Finding similar shots: %1 of %2</source>
        <translation>Recherche de photos semblables : %1 sur %2</translation>
    </message>
</context>
<context>
    <name>FolderAccess</name>
    <message>
        <source>%1 is read-only: nothing in it can be added, moved, renamed or removed.</source>
        <translation>%1 est en lecture seule&#xa0;: rien ne peut y être ajouté, déplacé, renommé ni supprimé.</translation>
    </message>
    <message>
        <source>If it’s a memory card, check its lock switch.</source>
        <translation>S’il s’agit d’une carte mémoire, vérifiez son curseur de verrouillage.</translation>
    </message>
    <message>
        <source>%1 can’t be moved to %2. %3 Nothing was moved.</source>
        <translation>%1 ne peut pas être déplacé dans %2. %3 Rien n’a été déplacé.</translation>
    </message>
    <message>
        <source>%1 can’t be copied to %2. %3 Nothing was copied.</source>
        <translation>%1 ne peut pas être copié dans %2. %3 Rien n’a été copié.</translation>
    </message>
    <message>
        <source>Couldn’t Undo</source>
        <translation>Impossible d’annuler</translation>
    </message>
    <message>
        <source>Couldn’t Redo</source>
        <translation>Impossible de rétablir</translation>
    </message>
    <message>
        <source>%1 loses the photos of a folder it renames, so categories can’t be renamed there. Create a new category and move the photos into it instead.</source>
        <translation>%1 perd les photos d’un dossier qu’il renomme&#xa0;: les catégories ne peuvent donc pas y être renommées. Créez plutôt une nouvelle catégorie et déplacez-y les photos.</translation>
    </message>
</context>
<context>
    <name>GalleryView</name>
    <message>
        <source>%1, 1 photo</source>
        <translation>%1, 1 photo</translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln photos</source>
        <translation>
            <numerusform>%1, %Ln photo</numerusform>
            <numerusform>%1, %Ln photos</numerusform>
        </translation>
    </message>
    <message>
        <source>1 file with an unreadable name is not shown</source>
        <translation>1 fichier au nom illisible n’est pas affiché</translation>
    </message>
    <message numerus="yes">
        <source>%Ln files with unreadable names are not shown</source>
        <translation>
            <numerusform>%Ln fichier au nom illisible n’est pas affiché</numerusform>
            <numerusform>%Ln fichiers aux noms illisibles ne sont pas affichés</numerusform>
        </translation>
    </message>
    <message>
        <source>Double-click to rename</source>
        <translation>Double-cliquez pour renommer</translation>
    </message>
    <message>
        <source>Drop photos here</source>
        <translation>Déposez des photos ici</translation>
    </message>
    <message>
        <source>or press 0</source>
        <translation>ou appuyez sur 0</translation>
    </message>
    <message>
        <source>or press its number</source>
        <translation>ou appuyez sur son numéro</translation>
    </message>
</context>
<context>
    <name>LoadingView</name>
    <message>
        <source>Choose Another Folder</source>
        <translation>Choisir un autre dossier</translation>
    </message>
    <message>
        <source>1 item found</source>
        <translation>1 élément trouvé</translation>
    </message>
    <message numerus="yes">
        <source>%Ln items found</source>
        <translation>
            <numerusform>%Ln élément trouvé</numerusform>
            <numerusform>%Ln éléments trouvés</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Calvenor Photo Sorter</source>
        <translation>Calvenor Photo Sorter</translation>
    </message>
</context>
<context>
    <name>PhotoCanvas</name>
    <message>
        <source>Selected</source>
        <translation>Sélectionnée</translation>
    </message>
    <message>
        <source>Not selected</source>
        <translation>Non sélectionnée</translation>
    </message>
</context>
<context>
    <name>PhotoCellPainter</name>
    <message>
        <source>%1 similar</source>
        <translation>%1 semblables</translation>
    </message>
</context>
<context>
    <name>PhotoContextMenu</name>
    <message>
        <source>Open</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Quick Look</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Reveal in File Manager</source>
        <translation>Afficher dans le gestionnaire de fichiers</translation>
    </message>
    <message>
        <source>Move to</source>
        <translation>Déplacer vers</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>Mettre à la corbeille</translation>
    </message>
    <message>
        <source>Rename Category…</source>
        <translation>Renommer la catégorie…</translation>
    </message>
    <message>
        <source>Delete Category…</source>
        <translation>Supprimer la catégorie…</translation>
    </message>
</context>
<context>
    <name>PhotoInfoText</name>
    <message>
        <source>%1 mm</source>
        <translation>%1&#xa0;mm</translation>
    </message>
    <message>
        <source>f/%1</source>
        <translation>f/%1</translation>
    </message>
    <message>
        <source>1/%1 s</source>
        <translation>1/%1&#xa0;s</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1&#xa0;s</translation>
    </message>
    <message>
        <source>ISO %1</source>
        <translation>ISO&#xa0;%1</translation>
    </message>
    <message>
        <source>%1 EV</source>
        <translation>%1&#xa0;IL</translation>
    </message>
    <message>
        <source>Taken</source>
        <translation>Prise de vue</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Appareil</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Numéro de série</translation>
    </message>
    <message>
        <source>Lens</source>
        <translation>Objectif</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Temps de pose</translation>
    </message>
    <message>
        <source>Aperture</source>
        <translation>Ouverture</translation>
    </message>
    <message>
        <source>Sensitivity</source>
        <translation>Sensibilité</translation>
    </message>
    <message>
        <source>Focal Length</source>
        <translation>Focale</translation>
    </message>
    <message>
        <source>Exposure Bias</source>
        <translation>Correction d’exposition</translation>
    </message>
    <message>
        <source>Dimensions</source>
        <translation>Dimensions</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Fichier</translation>
    </message>
    <message>
        <source>Companions</source>
        <translation>Fichiers associés</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Durée</translation>
    </message>
    <message>
        <source>%1 fps</source>
        <translation>%1&#xa0;i/s</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Vidéo</translation>
    </message>
    <message>
        <source>%1 · sharpest of %2</source>
        <translation>%1 · la plus nette sur %2</translation>
    </message>
    <message>
        <source>%1 · in a burst of %2</source>
        <translation>%1 · dans une rafale de %2</translation>
    </message>
    <message>
        <source>Sharpness</source>
        <translation>Netteté</translation>
    </message>
</context>
<context>
    <name>PreviewWindow</name>
    <message>
        <source>Quick Look</source>
        <translation>Aperçu</translation>
    </message>
    <message>
        <source>Can’t show this photo</source>
        <translation>Impossible d’afficher cette photo</translation>
    </message>
    <message>
        <source>No photo to show</source>
        <translation>Aucune photo à afficher</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Ajusté</translation>
    </message>
    <message>
        <source>%1&#xa0;%</source>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>Can’t play this video</source>
        <translation>Impossible de lire cette vidéo</translation>
    </message>
    <message>
        <source>Sound off</source>
        <translation>Son coupé</translation>
    </message>
    <message>
        <source>Sound on</source>
        <translation>Son activé</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>Afficher l’aide sur les options de la ligne de commande.</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>Afficher l’aide, options propres à Qt comprises.</translation>
    </message>
</context>
<context>
    <name>RecoveryBanner</name>
    <message>
        <source>These were left as found: another file holds their place, or they are not the files that were moved.</source>
        <translation>Ces éléments ont été laissés tels quels&#xa0;: un autre fichier occupe leur place, ou ce ne sont pas les fichiers qui avaient été déplacés.</translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>The last session ended in the middle of a change.</source>
        <translation>La dernière session s’est interrompue au milieu d’une modification.</translation>
    </message>
    <message>
        <source>1 photo file was put back where it was.</source>
        <translation>1 fichier photo a été remis à sa place.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo files were put back where they were.</source>
        <translation>
            <numerusform>%Ln fichier photo a été remis à sa place.</numerusform>
            <numerusform>%Ln fichiers photo ont été remis à leur place.</numerusform>
        </translation>
    </message>
    <message>
        <source>No photo had moved; what it left unfinished was cleared away.</source>
        <translation>Aucune photo n’avait été déplacée&#xa0;; ce qui était resté inachevé a été nettoyé.</translation>
    </message>
</context>
<context>
    <name>RootView</name>
    <message>
        <source>The folder holds a file whose name can’t be read. Rename or remove it in a file manager before deleting the category.</source>
        <translation>Le dossier contient un fichier dont le nom est illisible. Renommez-le ou retirez-le dans un gestionnaire de fichiers avant de supprimer la catégorie.</translation>
    </message>
    <message numerus="yes">
        <source>The folder holds %Ln files whose names can’t be read. Rename or remove them in a file manager before deleting the category.</source>
        <translation>
            <numerusform>Le dossier contient %Ln fichier dont le nom est illisible. Renommez-le ou retirez-le dans un gestionnaire de fichiers avant de supprimer la catégorie.</numerusform>
            <numerusform>Le dossier contient %Ln fichiers dont les noms sont illisibles. Renommez-les ou retirez-les dans un gestionnaire de fichiers avant de supprimer la catégorie.</numerusform>
        </translation>
    </message>
    <message>
        <source>The empty folder will be removed. You can undo this action.</source>
        <translation>Le dossier vide sera retiré. Vous pourrez annuler cette action.</translation>
    </message>
    <message>
        <source>1 photo will move to Unsorted before the folder is removed. You can undo this action.</source>
        <translation>1 photo ira dans Non triées avant que le dossier soit retiré. Vous pourrez annuler cette action.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos will move to Unsorted before the folder is removed. You can undo this action.</source>
        <translation>
            <numerusform>%Ln photo ira dans Non triées avant que le dossier soit retiré. Vous pourrez annuler cette action.</numerusform>
            <numerusform>%Ln photos iront dans Non triées avant que le dossier soit retiré. Vous pourrez annuler cette action.</numerusform>
        </translation>
    </message>
    <message>
        <source>Delete “%1”?</source>
        <translation>Supprimer «&#xa0;%1&#xa0;»&#x202f;?</translation>
    </message>
    <message>
        <source>Delete Category</source>
        <translation>Supprimer la catégorie</translation>
    </message>
    <message>
        <source>This disk has no trash</source>
        <translation>Ce disque n’a pas de corbeille</translation>
    </message>
    <message>
        <source>“%1” has no trash</source>
        <translation>«&#xa0;%1&#xa0;» n’a pas de corbeille</translation>
    </message>
    <message>
        <source>The photo (%1) will be copied to the trash in your home folder, which takes a while and uses that space on your home disk until the trash is emptied.</source>
        <translation>La photo (%1) sera copiée dans la corbeille de votre dossier personnel, ce qui prend du temps et occupe cette place sur le disque de votre dossier personnel jusqu’à ce que la corbeille soit vidée.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos (%1) will be copied to the trash in your home folder, which takes a while and uses that space on your home disk until the trash is emptied.</source>
        <translation>
            <numerusform>%Ln photo (%1) sera copiée dans la corbeille de votre dossier personnel, ce qui prend du temps et occupe cette place sur le disque de votre dossier personnel jusqu’à ce que la corbeille soit vidée.</numerusform>
            <numerusform>%Ln photos (%1) seront copiées dans la corbeille de votre dossier personnel, ce qui prend du temps et occupe cette place sur le disque de votre dossier personnel jusqu’à ce que la corbeille soit vidée.</numerusform>
        </translation>
    </message>
    <message>
        <source>Move to Home Trash</source>
        <translation>Mettre dans la corbeille personnelle</translation>
    </message>
</context>
<context>
    <name>TextEnums</name>
    <message>
        <source>Filename</source>
        <translation>Nom de fichier</translation>
    </message>
    <message>
        <source>Modification Date</source>
        <translation>Date de modification</translation>
    </message>
    <message>
        <source>Sort</source>
        <translation>Tri</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Parcourir</translation>
    </message>
    <message>
        <source>Tiles</source>
        <translation>Mosaïque</translation>
    </message>
    <message>
        <source>List</source>
        <translation>Liste</translation>
    </message>
    <message>
        <source>Masonry</source>
        <translation>Maçonnerie</translation>
    </message>
    <message>
        <source>Date Taken</source>
        <translation>Date de prise de vue</translation>
    </message>
</context>
<context>
    <name>WelcomeView</name>
    <message>
        <source>Every frame,
in its place.</source>
        <translation>Chaque image,
à sa place.</translation>
    </message>
    <message>
        <source>Choose a folder to turn its first-level subfolders into a fast, keyboard-driven sorting board. Nothing is imported. The folders remain the truth.</source>
        <translation>Choisissez un dossier pour faire de ses sous-dossiers un tableau de tri rapide, piloté au clavier. Rien n’est importé. Les dossiers restent la référence.</translation>
    </message>
    <message>
        <source>Open a Collection</source>
        <translation>Ouvrir une collection</translation>
    </message>
    <message>
        <source>File into categories</source>
        <translation>Classer dans les catégories</translation>
    </message>
    <message>
        <source>Return to Unsorted</source>
        <translation>Renvoyer dans Non triées</translation>
    </message>
    <message>
        <source>SPACE</source>
        <translation>ESPACE</translation>
    </message>
    <message>
        <source>Preview at full size</source>
        <translation>Aperçu en grand</translation>
    </message>
    <message>
        <source>Ctrl Z</source>
        <translation>Ctrl Z</translation>
    </message>
    <message>
        <source>Undo every move</source>
        <translation>Annuler chaque déplacement</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Sort a folder of photos into category folders.</source>
        <translation>Trier un dossier de photos dans des dossiers de catégories.</translation>
    </message>
    <message>
        <source>Generate a sample collection and open it.</source>
        <translation>Créer une collection d’exemple et l’ouvrir.</translation>
    </message>
    <message>
        <source>Open a window of its own even while the app is running.</source>
        <translation>Ouvrir une fenêtre distincte même si l’application est déjà lancée.</translation>
    </message>
    <message>
        <source>The folder to open.</source>
        <translation>Le dossier à ouvrir.</translation>
    </message>
    <message>
        <source>[FOLDER]</source>
        <translation>[DOSSIER]</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>dossier</translation>
    </message>
</context>
</TS>
